// Writes the comparison's modules, each as NAME.mod, .s3m, .xm or .it in the given folder,
// and prints the path of each. A file is written under a temporary name and renamed
// once complete, so that a failure leaves no half-written module behind.
#include <cstdio>
#include <fstream>
#include <string>

#include "tests/sound/test_modules.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_test_modules OUTPUT_DIRECTORY\n");
        return 2;
    }
    for (const TestModuleFile& file : comparisonFiles()) {
        const std::string path = std::string(argv[1]) + "/" + file.name;
        const std::string partial = path + ".partial";
        {
            std::ofstream out(partial, std::ios::binary);
            out.write(reinterpret_cast<const char*>(file.bytes.data()),
                      static_cast<std::streamsize>(file.bytes.size()));
            out.close();
            if (!out || std::rename(partial.c_str(), path.c_str()) != 0) {
                std::remove(partial.c_str());
                std::fprintf(stderr, "make_test_modules: cannot write %s\n", path.c_str());
                return 1;
            }
        }
        std::printf("%s\n", path.c_str());
    }
    return 0;
}
