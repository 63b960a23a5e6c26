#include "tools/output/output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

OutputFile::OutputFile(std::string output) : output_(std::move(output))
{
    struct stat status {};
    if (lstat(output_.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
        inPlace_ = true;
        path_ = output_;
        return;
    }
    std::string temporary = output_ + ".XXXXXX";
    const int descriptor = mkstemp(temporary.data());
    if (descriptor < 0) {
        error_ = std::strerror(errno);
        return;
    }
    close(descriptor);
    path_ = std::move(temporary);
}

OutputFile::~OutputFile()
{
    if (made() && !inPlace_) {
        unlink(path_.c_str());
    }
}

bool OutputFile::keep()
{
    if (!made()) {
        return false;
    }
    if (inPlace_) {
        return true;
    }
    const mode_t mask = umask(0);
    umask(mask);
    if (chmod(path_.c_str(), 0666 & ~mask) != 0 || std::rename(path_.c_str(), output_.c_str()) != 0) {
        error_ = std::strerror(errno);
        return false;
    }
    path_.clear();
    return true;
}

bool writeOutputFile(const std::string& output, const std::vector<std::uint8_t>& bytes, std::string& error)
{
    OutputFile file(output);
    if (!file.made()) {
        error = file.error();
        return false;
    }
    std::FILE* out = std::fopen(file.path().c_str(), "wb");
    if (out == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    const int writeError = errno;
    if (std::fclose(out) != 0 || !written) {
        error = std::strerror(written ? errno : writeError);
        return false;
    }
    if (!file.keep()) {
        error = file.error();
        return false;
    }
    return true;
}
