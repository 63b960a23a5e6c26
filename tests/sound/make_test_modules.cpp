// Writes the comparison's modules as ProTracker files, NAME.mod in the given folder.
#include <cstdio>
#include <fstream>
#include <string>

#include "tests/sound/test_modules.h"
#include "tools/assets/mod_writer.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_test_modules OUTPUT_DIRECTORY\n");
        return 2;
    }
    for (const TestModule& test : comparisonModules()) {
        const std::string path = std::string(argv[1]) + "/" + test.name + ".mod";
        const std::vector<std::uint8_t> bytes = writeMod(test.module);
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "make_test_modules: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s\n", path.c_str());
    }
    return 0;
}
