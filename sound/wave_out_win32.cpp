// The sound output on waveOut: 16-bit stereo PCM through the wave mapper, a ring of
// buffers that the device returns one by one, and a thread of our own that refills
// each returned buffer from the source and hands it back.
//
// Threading: the source is asked for samples from open's caller, while open primes
// every buffer before the device starts, and afterwards only from the output's thread.
// start, pause and close may be called from any one thread at a time, never from the
// source's fill. Once close returns, the source is never called again.
//
// Latency: four buffers of 30 ms, 120 ms in all. When the device returns one buffer,
// three are still queued, so the thread has 90 ms to refill it: several scheduler
// quanta of a busy machine, and the thread runs above the show's main loop, which never
// sleeps. More buffers would only make the music lag behind the picture.
#include <windows.h>

#include <atomic>
#include <thread>
#include <vector>

#include "sound/wave_out.h"

namespace {

constexpr int bufferCount = 4;
constexpr int bufferMilliseconds = 30;
constexpr int channels = 2;

class WaveOutOutput : public SoundOutput {
public:
    ~WaveOutOutput() override { close(); }

    bool open(int rate, SoundSource& source) override;
    void start() override;
    void pause() override;
    void close() override;

private:
    // Fills one buffer from the source and queues it; false when the device refuses it.
    bool queue(int index);
    // Refills and queues, in order, every buffer the device has played out.
    void refill();
    void run();
    // Takes back the buffers, unprepares them and closes the device and its event.
    void releaseDevice();

    HWAVEOUT device_ = nullptr;
    HANDLE event_ = nullptr;
    SoundSource* source_ = nullptr;
    std::thread thread_;
    std::atomic<bool> quit_{false};
    bool failed_ = false;   // a write was refused: the device is gone, the thread idles
    std::size_t framesPerBuffer_ = 0;
    std::vector<std::int16_t> samples_;
    WAVEHDR headers_[bufferCount] = {};
    int next_ = 0;   // the buffer the device returns next
};

bool WaveOutOutput::open(int rate, SoundSource& source)
{
    if (device_ || rate <= 0) {
        return false;
    }
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = channels;
    format.nSamplesPerSec = static_cast<DWORD>(rate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = static_cast<WORD>(channels * sizeof(std::int16_t));
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;

    // Auto-reset: signalled by the device whenever it returns a buffer, and by close.
    event_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!event_) {
        return false;
    }
    if (waveOutOpen(&device_, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(event_), 0,
                    CALLBACK_EVENT) != MMSYSERR_NOERROR) {
        device_ = nullptr;
        CloseHandle(event_);
        event_ = nullptr;
        return false;
    }
    // Paused before anything is queued, so that the primed buffers wait for start.
    waveOutPause(device_);

    source_ = &source;
    framesPerBuffer_ = static_cast<std::size_t>(rate) * bufferMilliseconds / 1000;
    samples_.assign(bufferCount * framesPerBuffer_ * channels, 0);
    failed_ = false;
    next_ = 0;
    for (WAVEHDR& header : headers_) {
        header = {};
    }
    for (int i = 0; i < bufferCount; ++i) {
        WAVEHDR& header = headers_[i];
        header.lpData = reinterpret_cast<LPSTR>(samples_.data() + i * framesPerBuffer_ * channels);
        header.dwBufferLength = static_cast<DWORD>(framesPerBuffer_ * channels * sizeof(std::int16_t));
        if (waveOutPrepareHeader(device_, &header, sizeof(header)) != MMSYSERR_NOERROR || !queue(i)) {
            // A device that takes no buffers plays nothing: as good as none.
            releaseDevice();
            return false;
        }
    }
    quit_ = false;
    thread_ = std::thread([this] { run(); });
    return true;
}

void WaveOutOutput::start()
{
    if (device_) {
        waveOutRestart(device_);
    }
}

void WaveOutOutput::pause()
{
    if (device_) {
        waveOutPause(device_);
    }
}

void WaveOutOutput::close()
{
    if (!device_) {
        return;
    }
    quit_ = true;
    SetEvent(event_);
    thread_.join();
    releaseDevice();
}

void WaveOutOutput::releaseDevice()
{
    // Reset hands back every queued buffer, so that each can be unprepared.
    waveOutReset(device_);
    for (WAVEHDR& header : headers_) {
        if (header.dwFlags & WHDR_PREPARED) {
            waveOutUnprepareHeader(device_, &header, sizeof(header));
        }
    }
    waveOutClose(device_);
    device_ = nullptr;
    CloseHandle(event_);
    event_ = nullptr;
    source_ = nullptr;
}

bool WaveOutOutput::queue(int index)
{
    WAVEHDR& header = headers_[index];
    source_->fill(reinterpret_cast<std::int16_t*>(header.lpData), framesPerBuffer_);
    return waveOutWrite(device_, &header, sizeof(header)) == MMSYSERR_NOERROR;
}

void WaveOutOutput::refill()
{
    // The device returns buffers in the order they were queued, so waiting on the next
    // one in the ring keeps the sound in order.
    while (!failed_ && (headers_[next_].dwFlags & WHDR_DONE)) {
        if (!queue(next_)) {
            failed_ = true;
            return;
        }
        next_ = (next_ + 1) % bufferCount;
    }
}

void WaveOutOutput::run()
{
    // Above the main loop, which never yields, so that a returned buffer is refilled at once.
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    for (;;) {
        WaitForSingleObject(event_, INFINITE);
        if (quit_) {
            return;
        }
        refill();
    }
}

} // namespace

std::unique_ptr<SoundOutput> makeWaveOutOutput()
{
    return std::make_unique<WaveOutOutput>();
}
