#include "sound/sound_output.h"

bool NullSoundOutput::open(int rate, SoundSource& source)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (!deviceAvailable_ || source_) {
        return false;
    }
    source_ = &source;
    rate_ = rate;
    playing_ = false;
    return true;
}

void NullSoundOutput::start()
{
    std::lock_guard<std::mutex> guard(lock_);
    playing_ = source_ != nullptr;
}

void NullSoundOutput::pause()
{
    std::lock_guard<std::mutex> guard(lock_);
    playing_ = false;
}

void NullSoundOutput::close()
{
    std::lock_guard<std::mutex> guard(lock_);
    source_ = nullptr;
    playing_ = false;
}

// The lock is held while the source mixes, so that close, like a real output's, returns
// only once the source is no longer being called.
std::size_t NullSoundOutput::pump(std::size_t frames)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (!source_ || !playing_ || frames == 0) {
        return 0;
    }
    const std::size_t start = captured_.size();
    captured_.resize(start + 2 * frames);
    source_->fill(captured_.data() + start, frames);
    return frames;
}

bool NullSoundOutput::isOpen() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return source_ != nullptr;
}

bool NullSoundOutput::isPlaying() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return playing_;
}

int NullSoundOutput::rate() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return rate_;
}
