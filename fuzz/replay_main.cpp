// The entry of a fuzz target built without libFuzzer: runs the target once on
// each file named on the command line, or on each file of a named folder
// (sorted, so a failure names the same file every time). It is the corpus
// replay of compilers without clang's fuzzer runtime.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

void RunFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::printf("Running: %s (%zu bytes)\n", path.c_str(), bytes.size());
    std::fflush(stdout);
    // A copy of exactly the input's size, so that a read past its end is one
    // past a heap block (as under libFuzzer).
    std::vector<std::uint8_t> input(bytes.begin(), bytes.end());
    static std::uint8_t none = 0;  // libFuzzer hands even an empty input a valid address
    LLVMFuzzerTestOneInput(input.empty() ? &none : input.data(), input.size());
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t runs = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path named(argv[i]);
        if (!named.empty() && named.string()[0] == '-') continue;  // a libFuzzer flag
        if (std::filesystem::is_directory(named)) {
            std::vector<std::filesystem::path> files;
            for (const auto& entry : std::filesystem::directory_iterator(named)) {
                if (entry.is_regular_file()) files.push_back(entry.path());
            }
            std::sort(files.begin(), files.end());
            for (const auto& file : files) RunFile(file), ++runs;
        } else if (std::filesystem::is_regular_file(named)) {
            RunFile(named), ++runs;
        } else {
            std::fprintf(stderr, "no such file or folder: %s\n", argv[i]);
            return 2;
        }
    }
    std::printf("Executed %zu inputs\n", runs);
    return runs == 0 ? 1 : 0;
}
