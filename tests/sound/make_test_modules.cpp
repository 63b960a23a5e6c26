// Writes the comparison's modules, each as NAME.mod, .s3m, .xm or .it in the given folder,
// and prints the path of each. A failure leaves no half-written module behind.
#include <cstdio>
#include <string>

#include "tests/sound/test_modules.h"
#include "tools/output/output_file.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_test_modules OUTPUT_DIRECTORY\n");
        return 2;
    }
    for (const TestModuleFile& file : comparisonFiles()) {
        const std::string path = std::string(argv[1]) + "/" + file.name;
        std::string error;
        if (!writeOutputFile(path, file.bytes, error)) {
            std::fprintf(stderr, "make_test_modules: cannot write %s: %s\n", path.c_str(), error.c_str());
            return 1;
        }
        std::printf("%s\n", path.c_str());
    }
    return 0;
}
