// Runs a fuzz harness over files, for builds without libFuzzer: every file
// given, and every file in every folder given, once. The harness's own checks
// abort on a broken invariant; the sanitizers of the build do the rest.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

void RunFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

int main(int argc, char** argv)
{
    size_t runs = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path(argv[i]);
        if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(path)) {
                if (entry.is_regular_file()) {
                    RunFile(entry.path());
                    ++runs;
                }
            }
        } else if (std::filesystem::is_regular_file(path)) {
            RunFile(path);
            ++runs;
        } else {
            std::fprintf(stderr, "replay: %s is neither a file nor a folder\n", argv[i]);
            return 2;
        }
    }
    // The empty input too, which every harness must take.
    LLVMFuzzerTestOneInput(nullptr, 0);
    std::printf("replay: %zu inputs, no invariant broken\n", runs + 1);
    return runs == 0 ? 1 : 0;
}
