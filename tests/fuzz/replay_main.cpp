// Replays fuzz inputs through a fuzz target without libFuzzer, so that a g++
// build can run the seed and regression corpora. Each argument is a file or a
// folder of files (read in name order); a missing folder is skipped.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace fs = std::filesystem;

namespace {

void replay(const fs::path &file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // A copy of exactly the file's length, so that a read past its end is seen.
    std::vector<uint8_t> data(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(data.data(), data.size());
}

} // namespace

int main(int argc, char **argv) {
    size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        fs::path arg(argv[i]);
        std::vector<fs::path> files;
        if (fs::is_directory(arg)) {
            for (const auto &entry : fs::directory_iterator(arg))
                if (entry.is_regular_file() && entry.path().filename() != "README")
                    files.push_back(entry.path());
            std::sort(files.begin(), files.end());
        } else if (fs::exists(arg)) {
            files.push_back(arg);
        }
        for (const auto &f : files) {
            std::fprintf(stderr, "replay %s\n", f.c_str());
            replay(f);
            ++count;
        }
    }
    std::fprintf(stderr, "replayed %zu inputs\n", count);
    return 0;
}
