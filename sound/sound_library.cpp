#include "sound/sound_library.h"

#include <algorithm>
#include <utility>

#include "sound/player.h"

namespace {

constexpr int lowestRate = 8000;
constexpr int highestRate = 192000;

PlayerOptions playerOptions(int rate, unsigned flags)
{
    PlayerOptions options;
    options.rate = rate;
    options.loop = (flags & musicLoop) != 0;
    options.ramp = (flags & musicRamp) != 0;
    options.interpolate = true;
    return options;
}

} // namespace

SoundLibrary::SoundLibrary(std::unique_ptr<SoundOutput> output) : output_(std::move(output)) {}

SoundLibrary::~SoundLibrary()
{
    release();
}

bool SoundLibrary::init(int device, int rate, unsigned, const void*)
{
    std::lock_guard<std::mutex> call(callLock_);
    if (initialised_ || !output_ || device != -1 || rate < lowestRate || rate > highestRate) {
        return false;
    }
    // open may already ask for samples (to prime its buffers): fill answers with silence
    // until a module plays.
    if (!output_->open(rate, *this)) {
        return false;
    }
    rate_ = rate;
    initialised_ = true;
    return true;
}

MusicHandle SoundLibrary::loadMusic(const void* data, std::size_t length, unsigned flags)
{
    std::lock_guard<std::mutex> call(callLock_);
    if (!initialised_) {
        return 0;
    }
    // Loaded and set up outside the mixing lock: the output plays on meanwhile.
    auto module = std::make_unique<Module>();
    lastLoadResult_ = data ? loadModule(static_cast<const std::uint8_t*>(data), length, *module)
                           : LoadResult::HeaderCutShort;
    if (lastLoadResult_ != LoadResult::Loaded) {
        return 0;
    }
    auto player = std::make_unique<Player>(*module, playerOptions(rate_, flags));

    {
        std::lock_guard<std::mutex> mix(mixLock_);
        // The old player refers to the old module: both leave together, player first,
        // once the lock is let go.
        std::swap(player_, player);
        std::swap(module_, module);
        playing_ = false;
    }
    player.reset();
    module.reset();

    musicFlags_ = flags;
    handle_ = nextHandle_++;
    if (nextHandle_ == 0) {
        nextHandle_ = 1;
    }
    return handle_;
}

LoadResult SoundLibrary::lastLoadResult() const
{
    std::lock_guard<std::mutex> call(callLock_);
    return lastLoadResult_;
}

bool SoundLibrary::start()
{
    std::lock_guard<std::mutex> call(callLock_);
    if (!initialised_) {
        return false;
    }
    output_->start();
    return true;
}

bool SoundLibrary::playMusic(MusicHandle music)
{
    std::lock_guard<std::mutex> call(callLock_);
    if (!initialised_ || music == 0 || music != handle_) {
        return false;
    }
    std::unique_ptr<Player> finished;
    std::lock_guard<std::mutex> mix(mixLock_);
    if (player_->ended()) {
        // A song without loop that has played out starts again from its beginning.
        finished = std::exchange(player_, std::make_unique<Player>(*module_, playerOptions(rate_, musicFlags_)));
    }
    playing_ = true;
    return true;
}

bool SoundLibrary::stop()
{
    std::lock_guard<std::mutex> call(callLock_);
    if (!initialised_) {
        return false;
    }
    output_->pause();
    return true;
}

void SoundLibrary::release()
{
    std::lock_guard<std::mutex> call(callLock_);
    if (!initialised_) {
        return;
    }
    // After close the output never calls fill again, so nothing mixes from here on.
    output_->close();
    std::lock_guard<std::mutex> mix(mixLock_);
    player_.reset();
    module_.reset();
    playing_ = false;
    handle_ = 0;
    initialised_ = false;
}

void SoundLibrary::fill(std::int16_t* out, std::size_t frames)
{
    std::lock_guard<std::mutex> mix(mixLock_);
    std::size_t written = 0;
    if (playing_ && player_) {
        written = player_->render(out, frames);
    }
    std::fill(out + 2 * written, out + 2 * frames, std::int16_t{0});
}
