// Renders a module to a 16-bit stereo WAV file, for tests, benchmarks and anyone who
// wants to hear the music without the show.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "sound/module.h"
#include "sound/player.h"
#include "tools/output/output_file.h"
#include "tools/render/command_line.h"

namespace {

const char* const usage =
    "usage: modrender [options] INPUT OUTPUT.wav\n"
    "Renders a module to a 16-bit stereo WAV file: ProTracker (MOD), Scream Tracker 3\n"
    "(S3M), FastTracker 2 (XM) or Impulse Tracker (IT), told apart by their content.\n"
    "\n"
    "  --rate HZ           output rate, 8000 to 192000 (default 44100)\n"
    "  --seconds S         render S seconds, looping the song as needed\n"
    "  --loops N           render N passes through the song (default 1)\n"
    "  --no-ramp           switch volume ramping off\n"
    "  --no-interpolation  take the nearest sample point instead of interpolating\n"
    "  --help              show this text\n";

constexpr int exitLoadOrWrite = 1;
constexpr int exitUsage = 2;

// Longer inputs than this are not modules; the largest real ones are a few megabytes.
constexpr std::size_t maxInputBytes = 64u << 20;
constexpr std::size_t wavHeaderBytes = 44;
constexpr std::size_t bytesPerFrame = 4;
// A pass that never comes back to a place it played is cut off after an hour.
constexpr double passLimitSeconds = 3600.0;

struct Arguments {
    int rate = 44100;
    double seconds = 0.0;   // 0: render whole passes instead
    int loops = 1;
    bool ramp = true;
    bool interpolate = true;
    std::string input;
    std::string output;
};

// Fills `arguments` from the command line; prints what is wrong and returns false otherwise.
bool parseArguments(int argc, char** argv, Arguments& arguments, bool& help)
{
    std::vector<std::string> positional;
    bool sawSeconds = false;
    bool sawLoops = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == "--help" || option == "-h") {
            help = true;
            return true;
        } else if (option == "--rate") {
            if (!hasValue || !parseInt(argv[++i], 8000, 192000, arguments.rate)) {
                std::fprintf(stderr, "modrender: --rate needs a whole number of Hz from 8000 to 192000\n");
                return false;
            }
        } else if (option == "--seconds") {
            if (!hasValue || !parseSeconds(argv[++i], arguments.seconds)) {
                std::fprintf(stderr, "modrender: --seconds needs a number of seconds above 0\n");
                return false;
            }
            sawSeconds = true;
        } else if (option == "--loops") {
            if (!hasValue || !parseInt(argv[++i], 1, 1000, arguments.loops)) {
                std::fprintf(stderr, "modrender: --loops needs a whole number from 1 to 1000\n");
                return false;
            }
            sawLoops = true;
        } else if (option == "--no-ramp") {
            arguments.ramp = false;
        } else if (option == "--no-interpolation") {
            arguments.interpolate = false;
        } else if (option == "--") {
            positional.insert(positional.end(), argv + i + 1, argv + argc);
            break;
        } else if (option.size() > 1 && option[0] == '-') {
            std::fprintf(stderr, "modrender: unknown option %s\n", option.c_str());
            return false;
        } else {
            positional.push_back(option);
        }
    }
    if (sawSeconds && sawLoops) {
        std::fprintf(stderr, "modrender: give either --seconds or --loops, not both\n");
        return false;
    }
    if (positional.size() != 2) {
        std::fprintf(stderr, "modrender: expected an input module and an output WAV file\n");
        return false;
    }
    arguments.input = positional[0];
    arguments.output = positional[1];
    return true;
}

bool readFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = std::strerror(errno);
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) {
        error = "cannot tell its size";
        return false;
    }
    if (static_cast<std::uint64_t>(size) > maxInputBytes) {
        error = "larger than any module (over 64 MB)";
        return false;
    }
    bytes.resize(static_cast<std::size_t>(size));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!in) {
        error = "read failed";
        return false;
    }
    return true;
}

void putLittle(std::uint8_t* at, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// A canonical 44-byte header for 16-bit stereo PCM.
std::vector<std::uint8_t> wavHeader(int rate, std::uint32_t dataBytes)
{
    std::vector<std::uint8_t> header(wavHeaderBytes);
    std::memcpy(&header[0], "RIFF", 4);
    putLittle(&header[4], dataBytes + 36, 4);
    std::memcpy(&header[8], "WAVEfmt ", 8);
    putLittle(&header[16], 16, 4);
    putLittle(&header[20], 1, 2);   // PCM
    putLittle(&header[22], 2, 2);   // channels
    putLittle(&header[24], static_cast<std::uint32_t>(rate), 4);
    putLittle(&header[28], static_cast<std::uint32_t>(rate) * bytesPerFrame, 4);
    putLittle(&header[32], bytesPerFrame, 2);
    putLittle(&header[34], 16, 2);
    std::memcpy(&header[36], "data", 4);
    putLittle(&header[40], dataBytes, 4);
    return header;
}

// Streams frames into a WAV file and writes the sizes into its header at the end. The
// file gets its name only once it is whole.
class WavFile {
public:
    WavFile(const std::string& path, int rate) : rate_(rate), output_(path)
    {
        if (!output_.made()) {
            error_ = output_.error();
            return;
        }
        file_ = std::fopen(output_.path().c_str(), "wb");
        if (file_ == nullptr) {
            error_ = std::strerror(errno);
            return;
        }
        // Writes of a quarter of a megabyte: a file system takes a few large writes much
        // faster than many of a page each.
        buffer_.resize(std::size_t{1} << 18);
        std::setvbuf(file_, buffer_.data(), _IOFBF, buffer_.size());
        write(wavHeader(rate_, 0).data(), wavHeaderBytes);
    }
    ~WavFile()
    {
        if (file_ != nullptr) {
            std::fclose(file_);
        }
    }
    WavFile(const WavFile&) = delete;
    WavFile& operator=(const WavFile&) = delete;

    bool good() const { return file_ != nullptr && error_.empty(); }
    // Why the file could not be made, written or named.
    const std::string& error() const { return error_; }

    void writeFrames(const std::int16_t* samples, std::size_t frames)
    {
        const std::size_t size = frames * bytesPerFrame;
        dataBytes_ += size;
        if (littleEndian()) {
            // The samples as they lie in memory are already the file's bytes.
            write(reinterpret_cast<const std::uint8_t*>(samples), size);
            return;
        }
        bytes_.resize(size);
        for (std::size_t i = 0; i < frames * 2; ++i) {
            putLittle(&bytes_[i * 2], static_cast<std::uint16_t>(samples[i]), 2);
        }
        write(bytes_.data(), size);
    }

    // Completes the header and names the file; false if anything failed.
    bool finish()
    {
        if (!good()) {
            return false;
        }
        if (std::fseek(file_, 0, SEEK_SET) != 0) {
            failed();
        }
        write(wavHeader(rate_, static_cast<std::uint32_t>(dataBytes_)).data(), wavHeaderBytes);
        if (std::fclose(file_) != 0) {
            failed();
        }
        file_ = nullptr;
        if (error_.empty() && !output_.keep()) {
            error_ = output_.error();
        }
        return error_.empty();
    }

private:
    static bool littleEndian()
    {
        const std::uint16_t probe = 1;
        std::uint8_t first = 0;
        std::memcpy(&first, &probe, 1);
        return first == 1;
    }
    void write(const std::uint8_t* data, std::size_t size)
    {
        if (error_.empty() && std::fwrite(data, 1, size, file_) != size) {
            failed();
        }
    }
    // Keeps the first failure's reason.
    void failed()
    {
        if (error_.empty()) {
            error_ = std::strerror(errno);
        }
    }

    int rate_;
    OutputFile output_;
    std::vector<char> buffer_;   // the stream's buffer, which outlives the stream
    std::FILE* file_ = nullptr;
    std::string error_;
    std::uint64_t dataBytes_ = 0;
    std::vector<std::uint8_t> bytes_;
};

} // namespace

int main(int argc, char** argv)
{
    Arguments arguments;
    bool help = false;
    if (!parseArguments(argc, argv, arguments, help)) {
        std::fputs(usage, stderr);
        return exitUsage;
    }
    if (help) {
        std::fputs(usage, stdout);
        return 0;
    }

    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!readFile(arguments.input, bytes, error)) {
        std::fprintf(stderr, "modrender: cannot read %s: %s\n", arguments.input.c_str(), error.c_str());
        return exitLoadOrWrite;
    }
    Module module;
    const LoadResult result = loadModule(bytes.data(), bytes.size(), module);
    if (result != LoadResult::Loaded) {
        std::fprintf(stderr, "modrender: cannot load %s: %s\n", arguments.input.c_str(), describe(result));
        return exitLoadOrWrite;
    }

    // A WAV file's sizes are 32 bits wide; a render that would not fit is refused up front.
    const double passSeconds =
        static_cast<double>(songFrames(module, arguments.rate, passLimitSeconds)) / arguments.rate;
    const double plannedSeconds = arguments.seconds > 0.0 ? arguments.seconds : passSeconds * arguments.loops;
    const double maxFrames = (4294967295.0 - wavHeaderBytes) / bytesPerFrame;
    const double plannedFrames = std::ceil(plannedSeconds * arguments.rate);
    if (plannedFrames + arguments.rate > maxFrames) {
        std::fprintf(stderr, "modrender: %.0f seconds at %d Hz is too long for a WAV file\n", plannedSeconds,
                     arguments.rate);
        return exitUsage;
    }

    WavFile wav(arguments.output, arguments.rate);
    if (!wav.good()) {
        std::fprintf(stderr, "modrender: cannot write %s: %s\n", arguments.output.c_str(), wav.error().c_str());
        return exitLoadOrWrite;
    }

    PlayerOptions options;
    options.rate = arguments.rate;
    options.loop = true;
    options.ramp = arguments.ramp;
    options.interpolate = arguments.interpolate;
    Player player(module, options);

    // Whole passes end where the song comes back to a place it has played. The player
    // notices that when it reads the row that begins the next pass, inside the render
    // call that mixes that row's first frame; so near the expected end the player is
    // asked for one frame at a time, and the frame of the call that began the next pass
    // is left out. A pass that never comes back stops at the scan's limit.
    const bool wholePasses = arguments.seconds <= 0.0;
    const double passesLimitFrames = std::min(maxFrames, std::ceil(passLimitSeconds * arguments.rate) * arguments.loops);
    const std::size_t limitFrames = static_cast<std::size_t>(wholePasses ? passesLimitFrames : plannedFrames);
    constexpr std::size_t blockFrames = 4096;
    const double frameByFrameFrom = plannedFrames - 2.0 * blockFrames;
    std::vector<std::int16_t> block(blockFrames * 2);
    std::size_t rendered = 0;
    bool cutOff = wholePasses;
    while (rendered < limitFrames) {
        std::size_t wanted = std::min(blockFrames, limitFrames - rendered);
        if (wholePasses && static_cast<double>(rendered) >= frameByFrameFrom) {
            wanted = 1;
        }
        const std::size_t got = player.render(block.data(), wanted);
        if (wholePasses && player.passes() >= arguments.loops) {
            // Earlier than expected, the next pass began inside a larger block: it stays.
            if (wanted > 1) {
                wav.writeFrames(block.data(), got);
                rendered += got;
            }
            cutOff = false;
            break;
        }
        wav.writeFrames(block.data(), got);
        rendered += got;
        if (got < wanted) {
            cutOff = false;
            break;
        }
    }
    if (!wav.finish()) {
        std::fprintf(stderr, "modrender: cannot write %s: %s\n", arguments.output.c_str(), wav.error().c_str());
        return exitLoadOrWrite;
    }
    if (cutOff) {
        std::fprintf(stderr, "modrender: the song never comes back to a place it played; cut off after %.0f s\n",
                     passLimitSeconds * arguments.loops);
    }
    std::printf("%s: %.3f s at %d Hz (one pass %.3f s)\n", arguments.output.c_str(),
                static_cast<double>(rendered) / arguments.rate, arguments.rate, passSeconds);
    return 0;
}
