// Files that the host's tools write, made whole or not at all.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A file written under a temporary name beside its output and given the output's name
// only once it is whole, so that a tool that fails leaves nothing half-written under the
// name it was asked for. An output that exists as something other than a regular file
// (a device such as /dev/null, a pipe, a symbolic link) cannot be replaced, and is
// written in place.
class OutputFile {
public:
    // Makes the temporary file at once, so that a name that cannot be written is found
    // before any work is done.
    explicit OutputFile(std::string output);
    // Removes the temporary file unless it was kept.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool made() const { return !path_.empty(); }
    // Where to write: the temporary file, or the output itself.
    const std::string& path() const { return path_; }
    // Why the file could not be made or kept.
    const std::string& error() const { return error_; }

    // Gives the written file the output's name, with the permissions a new file gets.
    bool keep();

private:
    std::string output_;
    std::string path_;
    std::string error_;
    bool inPlace_ = false;
};

// Writes `bytes` to `output` through an OutputFile; false, with the reason in `error`,
// if any of it could not be written.
bool writeOutputFile(const std::string& output, const std::vector<std::uint8_t>& bytes, std::string& error);
