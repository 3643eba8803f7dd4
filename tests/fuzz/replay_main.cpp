// Replays inputs through a fuzz target without libFuzzer: every file named, and every file in every
// folder named (in name order), goes once through LLVMFuzzerTestOneInput. A folder that does not
// exist is skipped, so a target may have seeds and no corpus yet. A crash, a sanitizer report or
// an abort ends the run with its message; the last line printed names the input.
#include <stdint.h>
#include <stdio.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int *argc, char ***argv);

namespace fs = std::filesystem;

static bool replay(const fs::path &file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        fprintf(stderr, "replay: cannot read %s\n", file.c_str());
        return false;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    printf("%s\n", file.c_str());
    fflush(stdout);
    // An empty vector's data() may be null; libFuzzer never passes null.
    static const uint8_t none = 0;
    LLVMFuzzerTestOneInput(bytes.empty() ? &none : bytes.data(), bytes.size());
    return true;
}

int main(int argc, char **argv) {
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    std::vector<fs::path> files;
    for (int i = 1; i < argc; i++) {
        fs::path p(argv[i]);
        std::error_code ec;
        if (fs::is_directory(p, ec)) {
            std::vector<fs::path> in;
            for (const auto &e : fs::directory_iterator(p))
                if (e.is_regular_file()) in.push_back(e.path());
            std::sort(in.begin(), in.end());
            files.insert(files.end(), in.begin(), in.end());
        } else if (fs::exists(p, ec)) {
            files.push_back(p);
        }
    }
    int failed = 0;
    for (const auto &f : files)
        if (!replay(f)) failed++;
    printf("replayed %zu inputs\n", files.size() - (size_t)failed);
    return failed ? 1 : 0;
}
