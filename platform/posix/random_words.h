// Random words from the kernel's secure generator, a batch at a time: one
// getrandom call fills a small buffer and the next words come from memory, so
// a random read does not cost eight system calls.
#pragma once

#include <cstddef>
#include <functional>

#include "platform/win32.h"

namespace hdd {

// Fills the whole buffer; returns 0, or the errno of a failure.
using RandomFill = std::function<errno_t(void* buffer, size_t bytes)>;

// getrandom without flags. Requests up to 256 bytes come back whole and are
// not interrupted by signals once the generator is ready; EINTR (while it is
// not) is retried, any other error is the failure.
errno_t FillFromKernel(void* buffer, size_t bytes);

// Not shared between threads: each thread keeps its own (see os_posix.cpp).
class RandomWords {
public:
    static constexpr size_t kBatchBytes = 256;
    static constexpr size_t kBatchWords = kBatchBytes / sizeof(unsigned int);

    explicit RandomWords(RandomFill fill = FillFromKernel);

    // The next word of the batch, refilling it when it has run out. A failed
    // refill clears the word and returns the error, like rand_s; the words it
    // may have written are dropped and the next call refills again.
    errno_t Next(unsigned int* word);

private:
    RandomFill m_fill;
    unsigned int m_words[kBatchWords] = {};
    size_t m_next = kBatchWords;  // empty until the first draw
};

}  // namespace hdd
