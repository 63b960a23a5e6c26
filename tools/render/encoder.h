#pragma once

#include <signal.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// An ffmpeg process fed through two pipes, its pictures on descriptor 3 (ffmpeg's
// "pipe:3") and its sound on descriptor 4 ("pipe:4"). Both are written side by side,
// whichever ffmpeg is ready to read, and the sound is queued ahead of the pictures, so
// that neither input stalls the other however ffmpeg interleaves its reading. ffmpeg's
// own messages are kept for the reason of a failure.
class Encoder {
public:
    Encoder() = default;
    ~Encoder();   // an encoder still running is stopped
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;

    // Starts `program` (looked up on PATH) with `arguments`. False, with `error` set,
    // when it cannot be started.
    bool start(const std::string& program, const std::vector<std::string>& arguments, std::string& error);

    // Queues sound to be written while pictures are.
    void addSound(const std::vector<std::int16_t>& sound);

    // Writes one frame's picture, and of the sound queued whatever ffmpeg reads
    // meanwhile. False once ffmpeg stops reading (it has failed), or once
    // `interrupted` is set while waiting.
    bool writePicture(const std::uint8_t* picture, std::size_t bytes, const volatile sig_atomic_t& interrupted);

    // Writes the rest of the sound, closes both pipes and waits for ffmpeg to end; false,
    // with `error` set to ffmpeg's last message or how it ended, unless it ended with
    // status 0.
    bool finish(const volatile sig_atomic_t& interrupted, std::string& error);

    // Stops ffmpeg at once and waits for it.
    void stop();

private:
    // Writes until `pictureLeft` bytes and, with `allSound`, the sound queued are
    // written; false as writePicture.
    bool pump(const std::uint8_t* picture, std::size_t pictureLeft, bool allSound,
              const volatile sig_atomic_t& interrupted);
    void closePipes();
    std::string lastMessage() const;

    pid_t child_ = -1;
    int pictures_ = -1;
    int sound_ = -1;
    int messages_ = -1;   // a temporary file that ffmpeg's standard error goes to
    std::vector<std::uint8_t> soundQueue_;
    std::size_t soundWritten_ = 0;   // of soundQueue_
};
