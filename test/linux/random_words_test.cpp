// The kernel's random words, a batch per system call: handed out in order,
// refilled when used up, and a failed refill is rand_s's failure.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "platform/os_api.h"
#include "platform/posix/random_words.h"

namespace hdd {
namespace {

// Numbers each batch's words on from where the last one stopped, and fails
// the refills listed in `failing` (1 = the first) with EIO.
struct CountingFill {
    std::vector<int> failing;
    int calls = 0;
    unsigned int nextWord = 100;

    errno_t operator()(void* buffer, size_t bytes)
    {
        ++calls;
        for (int n : failing) {
            if (n == calls) {
                std::memset(buffer, 0xAB, bytes);  // a partial batch must not leak out
                return EIO;
            }
        }
        auto* words = static_cast<unsigned int*>(buffer);
        for (size_t i = 0; i < bytes / sizeof(unsigned int); ++i) {
            words[i] = nextWord++;
        }
        return 0;
    }
};

TEST(RandomWords, HandsOutEachBatchInOrderAndRefillsWhenItRunsOut)
{
    constexpr size_t kWords = RandomWords::kBatchWords;
    static_assert(RandomWords::kBatchBytes <= 256, "the kernel answers up to 256 bytes whole");
    struct Row {
        const char* what;
        std::vector<int> failing;  // which fills fail
        size_t failedDraw;         // the draw that sees it, or SIZE_MAX
    };
    const Row rows[] = {
        {"no failure", {}, SIZE_MAX},
        {"the first fill fails", {1}, 0},
        {"the refill fails", {2}, kWords},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        CountingFill fill{row.failing};
        int* calls = &fill.calls;
        RandomWords words([&fill](void* b, size_t n) { return fill(b, n); });
        EXPECT_EQ(*calls, 0) << "nothing is fetched before the first draw";
        unsigned int expected = 100;
        for (size_t draw = 0; draw <= 2 * kWords; ++draw) {
            unsigned int word = 0x5555u;
            const errno_t error = words.Next(&word);
            if (draw == row.failedDraw) {
                EXPECT_EQ(error, EIO) << "draw " << draw;
                EXPECT_EQ(word, 0u) << "a failed draw clears the word, like rand_s";
                continue;
            }
            ASSERT_EQ(error, 0) << "draw " << draw;
            EXPECT_EQ(word, expected++) << "draw " << draw;
        }
        // 2 x kWords + 1 draws: three fills, a failed one standing in for a
        // draw that a good one would have served.
        EXPECT_EQ(*calls, 3);
    }
}

// The failure reaches the disk test as today: the contract's all-ones
// position and HDD_TEST_READ_ERROR follow from rand_s's nonzero return,
// which random_seek_test holds; here, that every error of the fill is it.
TEST(RandomWords, AnyFillErrorIsTheDrawsError)
{
    for (errno_t error : {EIO, ENOSYS, EFAULT}) {
        SCOPED_TRACE(error);
        RandomWords words([error](void*, size_t) { return error; });
        unsigned int word = 1;
        EXPECT_EQ(words.Next(&word), error);
        EXPECT_EQ(word, 0u);
        EXPECT_EQ(words.Next(&word), error) << "each later draw tries the kernel again";
    }
}

// The real source, through the platform's rand_s and on two threads at once:
// 10^5 words are not constant and no batch repeats an earlier one.
TEST(RandomWords, KernelWordsVaryAndNoBatchRepeats)
{
    constexpr size_t kCount = 100000;
    const auto draw = [](std::vector<unsigned int>& out) {
        out.resize(kCount);
        for (unsigned int& w : out) {
            ASSERT_EQ(PlatformOs().rand_s(&w), 0);
        }
    };
    std::vector<unsigned int> mine;
    std::vector<unsigned int> theirs;
    std::thread other(draw, std::ref(theirs));
    draw(mine);
    other.join();
    EXPECT_EQ(PlatformOs().rand_s(nullptr), EINVAL);

    std::set<std::vector<unsigned int>> batches;
    for (const std::vector<unsigned int>* words : {&mine, &theirs}) {
        ASSERT_EQ(words->size(), kCount);
        EXPECT_GT(std::set<unsigned int>(words->begin(), words->end()).size(), kCount * 99 / 100);
        for (size_t i = 0; i + RandomWords::kBatchWords <= kCount; i += RandomWords::kBatchWords) {
            const std::vector<unsigned int> batch(words->begin() + static_cast<std::ptrdiff_t>(i),
                                                  words->begin() + static_cast<std::ptrdiff_t>(i + RandomWords::kBatchWords));
            EXPECT_TRUE(batches.insert(batch).second) << "a batch repeats at word " << i;
        }
    }
}

}  // namespace
}  // namespace hdd
