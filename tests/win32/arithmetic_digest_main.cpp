// Prints the host's digest of the water and the soundtrack (arithmetic_digest.h) for
// the Win32 tree's test, which compares it with the 32-bit program's own.
//
//     arithmetic_digest MODULE
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "tests/win32/arithmetic_digest.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: arithmetic_digest MODULE\n"
                   "Prints the digests of the water's steps and of the module's first 90 seconds.\n",
                   stderr);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "arithmetic_digest: cannot read %s: %s\n", argv[1], std::strerror(errno));
        return 1;
    }
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) {
        std::fprintf(stderr, "arithmetic_digest: cannot read %s\n", argv[1]);
        return 1;
    }
    Module module;
    const LoadResult result = loadModule(bytes.data(), bytes.size(), module);
    if (result != LoadResult::Loaded) {
        std::fprintf(stderr, "arithmetic_digest: cannot load %s: %s\n", argv[1], describe(result));
        return 1;
    }
    std::printf("%s\n", arithmeticDigest(module).c_str());
    return 0;
}
