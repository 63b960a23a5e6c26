// The music player's platform hooks on the host (tests, benchmarks, tools): a null
// output that plays into memory when pumped, and a table of resources that tests fill.
#include "platform/music_player.h"
#include "platform/music_player_offscreen.h"

namespace {

// Forgets itself in the shared record when it goes, so the record never dangles.
class RecordedOutput : public NullSoundOutput {
public:
    explicit RecordedOutput(bool deviceAvailable) : NullSoundOutput(deviceAvailable)
    {
        offscreenMusic().output = this;
    }
    ~RecordedOutput() override
    {
        if (offscreenMusic().output == this) {
            offscreenMusic().output = nullptr;
        }
    }
};

} // namespace

OffscreenMusic& offscreenMusic()
{
    // Made on first use: players are constructed during static construction.
    static OffscreenMusic music;
    return music;
}

std::unique_ptr<SoundOutput> makeMusicOutput()
{
    return std::make_unique<RecordedOutput>(offscreenMusic().deviceAvailable);
}

// There are no windows on the host.
const void* foregroundWindow()
{
    return nullptr;
}

MusicResource findMusicResource(int number)
{
    const auto& resources = offscreenMusic().resources;
    const auto found = resources.find(number);
    if (found == resources.end()) {
        return {};
    }
    return {found->second.data(), found->second.size()};
}
