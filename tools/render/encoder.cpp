#include "tools/render/encoder.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

extern char** environ;

namespace {

bool pipeForChild(int ends[2])
{
    // Both ends close on exec; the child's own copy is made by dup2, which clears it.
    if (pipe2(ends, O_CLOEXEC) != 0) {
        return false;
    }
    // The tool's end never blocks: write polls for room instead.
    return fcntl(ends[1], F_SETFL, O_NONBLOCK) == 0;
}

// A copy of `descriptor` numbered 10 or above, closed on exec, in its place: the child's
// descriptors 0 to 4 are then made from descriptors that none of them can overwrite.
int outOfTheWay(int descriptor)
{
    if (descriptor < 0) {
        return descriptor;
    }
    const int moved = fcntl(descriptor, F_DUPFD_CLOEXEC, 10);
    close(descriptor);
    return moved;
}

} // namespace

Encoder::~Encoder()
{
    stop();
}

bool Encoder::start(const std::string& program, const std::vector<std::string>& arguments, std::string& error)
{
    int pictures[2] = {-1, -1};
    int sound[2] = {-1, -1};
    std::FILE* messages = std::tmpfile();
    const int null = outOfTheWay(open("/dev/null", O_RDWR | O_CLOEXEC));
    bool made = messages != nullptr && null >= 0 && pipeForChild(pictures) && pipeForChild(sound);
    pictures[0] = outOfTheWay(pictures[0]);
    sound[0] = outOfTheWay(sound[0]);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (made) {
        messages_ = fcntl(fileno(messages), F_DUPFD_CLOEXEC, 10);
        made = messages_ >= 0 && pictures[0] >= 0 && sound[0] >= 0 &&
               posix_spawn_file_actions_adddup2(&actions, null, 0) == 0 &&
               posix_spawn_file_actions_adddup2(&actions, null, 1) == 0 &&
               posix_spawn_file_actions_adddup2(&actions, messages_, 2) == 0 &&
               posix_spawn_file_actions_adddup2(&actions, pictures[0], 3) == 0 &&
               posix_spawn_file_actions_adddup2(&actions, sound[0], 4) == 0;
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    // The tool ignores SIGPIPE to see a closed pipe as an error; ffmpeg gets its default.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

    int spawned = made ? 0 : errno;
    if (made) {
        spawned = posix_spawnp(&child_, program.c_str(), &actions, &attributes, argv.data(), environ);
        if (spawned != 0) {
            child_ = -1;
        }
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    for (int end : {pictures[0], sound[0], null}) {
        if (end >= 0) {
            close(end);
        }
    }
    if (messages != nullptr) {
        std::fclose(messages);
    }
    pictures_ = pictures[1];
    sound_ = sound[1];
    if (child_ < 0) {
        closePipes();
        error = "cannot run " + program + ": " + std::strerror(spawned != 0 ? spawned : EIO) +
                (spawned == ENOENT ? " (is it installed?)" : "");
        return false;
    }
    return true;
}

void Encoder::addSound(const std::vector<std::int16_t>& sound)
{
    // What has been written goes first, so that the queue holds only what is ahead.
    soundQueue_.erase(soundQueue_.begin(), soundQueue_.begin() + static_cast<std::ptrdiff_t>(soundWritten_));
    soundWritten_ = 0;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(sound.data());
    soundQueue_.insert(soundQueue_.end(), bytes, bytes + sound.size() * sizeof(std::int16_t));
}

bool Encoder::writePicture(const std::uint8_t* picture, std::size_t bytes, const volatile sig_atomic_t& interrupted)
{
    return pump(picture, bytes, false, interrupted);
}

bool Encoder::pump(const std::uint8_t* picture, std::size_t pictureLeft, bool allSound,
                   const volatile sig_atomic_t& interrupted)
{
    for (;;) {
        const std::size_t soundLeft = soundQueue_.size() - soundWritten_;
        if (pictureLeft == 0 && (!allSound || soundLeft == 0)) {
            return true;
        }
        if (interrupted) {
            return false;
        }
        pollfd waits[2];
        nfds_t count = 0;
        if (pictureLeft > 0) {
            waits[count++] = pollfd{pictures_, POLLOUT, 0};
        }
        if (soundLeft > 0) {
            waits[count++] = pollfd{sound_, POLLOUT, 0};
        }
        // A bounded wait, so that an interruption is seen even while ffmpeg reads nothing.
        if (poll(waits, count, 200) < 0 && errno != EINTR) {
            return false;
        }
        for (nfds_t i = 0; i < count; ++i) {
            if (waits[i].revents == 0) {
                continue;
            }
            const bool isPicture = waits[i].fd == pictures_;
            const std::uint8_t* from = isPicture ? picture : soundQueue_.data() + soundWritten_;
            const ssize_t written = ::write(waits[i].fd, from, isPicture ? pictureLeft : soundLeft);
            if (written < 0 && errno != EAGAIN && errno != EINTR) {
                // EPIPE: ffmpeg has closed its end, which it does only when it gives up.
                return false;
            }
            if (written > 0 && isPicture) {
                picture += written;
                pictureLeft -= static_cast<std::size_t>(written);
            } else if (written > 0) {
                soundWritten_ += static_cast<std::size_t>(written);
            }
        }
    }
}

bool Encoder::finish(const volatile sig_atomic_t& interrupted, std::string& error)
{
    const bool written = pump(nullptr, 0, true, interrupted);
    closePipes();
    if (child_ < 0) {
        error = "ffmpeg is not running";
        return false;
    }
    int status = 0;
    while (waitpid(child_, &status, 0) < 0 && errno == EINTR) {
    }
    child_ = -1;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && written) {
        return true;
    }
    error = lastMessage();
    if (error.empty()) {
        error = WIFSIGNALED(status) ? "ended by signal " + std::to_string(WTERMSIG(status))
                : WIFEXITED(status) && WEXITSTATUS(status) != 0
                    ? "ended with status " + std::to_string(WEXITSTATUS(status))
                    : "stopped reading";
    }
    return false;
}

void Encoder::stop()
{
    closePipes();
    if (child_ >= 0) {
        kill(child_, SIGKILL);
        while (waitpid(child_, nullptr, 0) < 0 && errno == EINTR) {
        }
        child_ = -1;
    }
    if (messages_ >= 0) {
        close(messages_);
        messages_ = -1;
    }
}

void Encoder::closePipes()
{
    for (int* end : {&pictures_, &sound_}) {
        if (*end >= 0) {
            close(*end);
            *end = -1;
        }
    }
}

// The last line ffmpeg wrote: with -loglevel error, the one that says why it stopped.
std::string Encoder::lastMessage() const
{
    std::string text;
    if (messages_ >= 0) {
        char block[4096];
        ssize_t got = 0;
        off_t at = 0;
        while ((got = pread(messages_, block, sizeof block, at)) > 0) {
            text.append(block, static_cast<std::size_t>(got));
            at += got;
        }
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    const std::size_t lineStart = text.find_last_of('\n');
    return lineStart == std::string::npos ? text : text.substr(lineStart + 1);
}
