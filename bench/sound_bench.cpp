// Rendering speed of the module player as a multiple of real time, with interpolation
// and ramping, for the soundtrack and for modules of 4 and 32 channels built in code;
// and, in the same run, the peer player openmpt123 on the same modules.
//
// x_realtime is seconds of sound made per second of wall-clock time. The peer's figure
// leaves out its start-up, measured on a module of one tick.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "sound/module.h"
#include "sound/player.h"
#include "tests/sound/test_modules.h"
#include "tools/assets/mod_writer.h"

namespace {

constexpr int rate = 44100;
constexpr std::size_t blockFrames = 4096;   // about what an output device asks for at a time
constexpr int secondsPerIteration = 4;

using Clock = std::chrono::steady_clock;

std::vector<std::uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const std::string soundtrackPath = std::string(THOUSAND_SOURCE_DIR) + "/resources/thousand.mod";

// The module to measure, or null with the reason in `error`.
std::unique_ptr<Module> benchModule(const std::string& name, std::string& error)
{
    auto module = std::make_unique<Module>();
    if (name == "soundtrack") {
        const std::vector<std::uint8_t> bytes = readFile(soundtrackPath);
        if (bytes.empty()) {
            error = soundtrackPath + " is not there (yet)";
            return nullptr;
        }
        const LoadResult result = loadModule(bytes.data(), bytes.size(), *module);
        if (result != LoadResult::Loaded) {
            error = soundtrackPath + ": " + describe(result);
            return nullptr;
        }
    } else {
        *module = loadSong(busyModule(name == "channels_32" ? 32 : 4, 4));
    }
    return module;
}

void BM_RenderModule(benchmark::State& state, const std::string& name)
{
    std::string error;
    const std::unique_ptr<Module> module = benchModule(name, error);
    if (!module) {
        state.SkipWithError(error.c_str());
        return;
    }
    PlayerOptions options;
    options.rate = rate;
    options.loop = true;
    options.ramp = true;
    options.interpolate = true;
    Player player(*module, options);
    std::vector<std::int16_t> block(blockFrames * 2);
    std::size_t frames = 0;
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        for (std::size_t done = 0; done < static_cast<std::size_t>(secondsPerIteration * rate); done += blockFrames) {
            frames += player.render(block.data(), blockFrames);
        }
        benchmark::DoNotOptimize(block.data());
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    state.counters["x_realtime"] = static_cast<double>(frames) / rate / seconds;
    state.counters["channels"] = module->channels;
}
BENCHMARK_CAPTURE(BM_RenderModule, soundtrack, std::string("soundtrack"))->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_RenderModule, channels_4, std::string("channels_4"))->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_RenderModule, channels_32, std::string("channels_32"))->Unit(benchmark::kMillisecond)->UseRealTime();

// Runs the peer on a module file, with linear interpolation like ours, and returns the
// seconds of sound it wrote and the wall-clock seconds it took; negative on failure.
double runPeer(const std::string& path, double& seconds)
{
    const std::string command = "openmpt123 --quiet --batch --no-float --subsong 0 --filter 2 --samplerate " + std::to_string(rate) +
                                " --stdout '" + path + "' 2>/dev/null";
    const Clock::time_point start = Clock::now();
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return -1.0;
    }
    std::vector<char> buffer(1 << 16);
    std::size_t bytes = 0;
    for (std::size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) {
        bytes += got;
    }
    const int status = pclose(pipe);
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return status == 0 ? static_cast<double>(bytes) / 4.0 / rate : -1.0;
}

bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// A module of a single tick: what the peer costs before it makes any sound.
double peerStartSeconds(const std::string& folder)
{
    ModSong tiny = makeEmptySong(4, 1);
    tiny.cells[0] = ModCell{0, 0, 0xF, 0x01};
    tiny.cells[1] = ModCell{0, 0, 0xB, 0x00};
    const std::string path = folder + "/tiny.mod";
    if (!writeFile(path, writeMod(tiny))) {
        return -1.0;
    }
    double best = 1e9;
    for (int i = 0; i < 5; ++i) {
        double seconds = 0.0;
        if (runPeer(path, seconds) < 0.0) {
            return -1.0;
        }
        best = std::min(best, seconds);
    }
    return best;
}

void BM_PeerRenderModule(benchmark::State& state, const std::string& name)
{
    std::string error;
    const std::unique_ptr<Module> module = benchModule(name, error);
    if (!module) {
        state.SkipWithError(error.c_str());
        return;
    }
    char folderTemplate[] = "/tmp/thousand_bench_XXXXXX";
    if (mkdtemp(folderTemplate) == nullptr) {
        state.SkipWithError("cannot make a temporary folder");
        return;
    }
    const std::string folder = folderTemplate;
    const std::string path = name == "soundtrack" ? soundtrackPath : folder + "/" + name + ".mod";
    const double start = peerStartSeconds(folder);
    if (start < 0.0 || (name != "soundtrack" && !writeFile(path, writeMod(busyModule(name == "channels_32" ? 32 : 4, 4))))) {
        state.SkipWithError("openmpt123 did not run (is it installed?)");
        return;
    }
    double sound = 0.0;
    double work = 0.0;
    for (auto _ : state) {
        double seconds = 0.0;
        const double made = runPeer(path, seconds);
        if (made < 0.0) {
            state.SkipWithError("openmpt123 failed on the module");
            break;
        }
        state.SetIterationTime(seconds);
        sound += made;
        work += std::max(seconds - start, 1e-6);
    }
    std::remove((folder + "/tiny.mod").c_str());
    std::remove((folder + "/" + name + ".mod").c_str());
    std::remove(folder.c_str());
    state.counters["x_realtime"] = work > 0.0 ? sound / work : 0.0;
    state.counters["start_ms"] = start * 1000.0;
}
BENCHMARK_CAPTURE(BM_PeerRenderModule, soundtrack, std::string("soundtrack"))
    ->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
BENCHMARK_CAPTURE(BM_PeerRenderModule, channels_4, std::string("channels_4"))
    ->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
BENCHMARK_CAPTURE(BM_PeerRenderModule, channels_32, std::string("channels_32"))
    ->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

} // namespace
