// Replay driver: runs a fuzz target's entry once per input file named on the command line, so
// saved fuzz inputs run as ordinary tests in builds without libFuzzer. A finding shows up as a
// sanitizer report, an abort or a failed check inside the target; the driver itself checks nothing.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int *argc, char ***argv);

int main(int argc, char **argv)
{
    // Every input is read before the target starts: its set-up may change the working directory.
    std::vector<std::vector<char>> inputs;
    for (int i = 1; i < argc; i++) {
        std::ifstream in(argv[i], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "%s: cannot read\n", argv[i]);
            return 2;
        }
        inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (LLVMFuzzerInitialize) {
        LLVMFuzzerInitialize(&argc, &argv);
    }
    for (const std::vector<char> &bytes : inputs) {
        // A heap block of exactly the input's size (never null), as libFuzzer hands over, so that
        // a read one byte past the end is caught under the sanitizers.
        std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size()]);
        std::copy(bytes.begin(), bytes.end(), exact.get());
        LLVMFuzzerTestOneInput(exact.get(), bytes.size());
    }
    return 0;
}
