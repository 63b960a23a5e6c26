// Rendering speed of the module player, with interpolation and ramping, against the peer
// player openmpt123 on the same files: for the soundtrack, for busy modules of each format
// built in code, and for one real module of each format once tools/fetch-real-modules.sh
// has put them under build/real-modules. For each module:
//
// - BM_Render: x_realtime is seconds of sound made per second of wall-clock time, in
//   this process, from the loaded module.
// - BM_Peer: openmpt123 playing one pass of the file with linear interpolation
//   (--filter 2, like ours); its x_realtime leaves out its start-up, measured on a module
//   of one tick (start_ms), so that it compares with BM_Render's.
// - BM_VersusPeer: whole processes, as a person would run them: our modrender against
//   openmpt123 --filter 2, the same file, the same length, run in turns. ours_ms and
//   peer_ms are each one's fastest run; peer_over_ours is how many times faster ours is
//   (the goal is 3 or more).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sound/module.h"
#include "sound/player.h"
#include "tests/sound/it_writer.h"
#include "tests/sound/module_parts.h"
#include "tests/sound/s3m_writer.h"
#include "tests/sound/test_modules.h"
#include "tests/sound/xm_writer.h"
#include "tools/assets/mod_writer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr int rate = 44100;
constexpr std::size_t blockFrames = 4096;   // about what an output device asks for at a time
constexpr int secondsPerIteration = 4;
// Long enough that start-up is a small part of either process, short enough to run
// every module several times.
constexpr int versusSeconds = 60;
constexpr int busyChannels = 32;
constexpr int busyPatterns = 4;

const std::string sourceDir = THOUSAND_SOURCE_DIR;
const std::string soundtrackPath = sourceDir + "/resources/thousand.mod";
const std::string realModulesDir = sourceDir + "/build/real-modules";

Bytes readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool writeFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// The roles of busyModule()'s channels, by channel number modulo 4, and its samples.
enum Role { melodyRole, bassRole, padRole, drumRole };
enum : int { lead = 1, bass, pad, kick, snare, hat, pluck, organ, sampleCount = organ };

// The effects the busy modules add, in each format's commands; panning to the left and
// right of the centre by each format's own command (Scream Tracker's is S8x).
struct EffectSet {
    Effect vibrato, tonePortamento, volumeSlide, panning;
    int left, right;
};
constexpr EffectSet xmEffects = {Effect::Vibrato, Effect::TonePortamento, Effect::VolumeSlide, Effect::Panning,
                                 0x50, 0xB0};
constexpr EffectSet s3mEffects = {Effect::VibratoS3m, Effect::TonePortamentoS3m, Effect::VolumeSlideS3m,
                                  Effect::Special, 0x85, 0x8A};
constexpr EffectSet itEffects = {Effect::VibratoS3m, Effect::TonePortamentoS3m, Effect::VolumeSlideS3m,
                                 Effect::SetPanning, 0x50, 0xB0};

// The 32-channel busy ProTracker song moved into another format: its notes and samples,
// its volumes in the volume column, then the format's own effects on the cells left
// free: vibrato after the melodies' notes, tone portamento into the bass's octave jumps,
// volume slides (XM: key-offs) between the pad's chords, panning on the hi-hats.
Module busyModuleOf(ModuleFormat format)
{
    Module module = loadSong(busyModule(busyChannels, busyPatterns));
    module.format = format;
    module.title = "busy";
    const bool xm = format == ModuleFormat::Xm;
    const EffectSet& effects = xm ? xmEffects : format == ModuleFormat::S3m ? s3mEffects : itEffects;
    for (Pattern& pattern : module.patterns) {
        for (int row = 0; row < pattern.rows; ++row) {
            for (int c = 0; c < module.channels; ++c) {
                Cell& cell = pattern.cell(row, c, module.channels);
                cell.period = 0;
                if (cell.effect == Effect::SetVolume) {
                    cell.volumeCommand = VolumeCommand::Volume;
                    cell.volumeValue = std::min<std::uint8_t>(cell.parameter, 64);
                    cell.effect = Effect::None;
                    cell.parameter = 0;
                }
                const bool free = cell.note == noteNone && cell.effect == Effect::None;
                const Cell* above = row > 0 ? &pattern.cell(row - 1, c, module.channels) : nullptr;
                switch (c % 4) {
                case melodyRole:
                    if (free && above != nullptr && isPlayableNote(above->note)) {
                        cell.effect = effects.vibrato;
                        cell.parameter = 0x44;
                    }
                    break;
                case bassRole:
                    if (row % 16 == 8 && isPlayableNote(cell.note)) {
                        cell.effect = effects.tonePortamento;
                        cell.parameter = 0x40;
                    }
                    break;
                case padRole:
                    if (free && row % 4 == 3) {
                        if (xm) {
                            cell.note = noteOff;
                        } else {
                            cell.effect = effects.volumeSlide;
                            cell.parameter = 0x01;
                        }
                    }
                    break;
                default:
                    if (cell.instrument == hat) {
                        cell.effect = effects.panning;
                        cell.parameter = static_cast<std::uint8_t>(row % 8 < 4 ? effects.left : effects.right);
                    }
                    break;
                }
            }
        }
    }
    module.channelSettings.resize(static_cast<std::size_t>(module.channels));
    for (std::size_t c = 0; c < module.channelSettings.size(); ++c) {
        module.channelSettings[c].panning = c % 2 == 0 ? 80 : 176;
    }
    // Half the instruments in 16 bits; S3M and IT play the pad in stereo, its right side
    // a quarter of a cycle behind.
    for (int number = 1; number <= sampleCount; ++number) {
        Sample& sample = module.samples[static_cast<std::size_t>(number - 1)];
        sample.c5Speed = static_cast<std::uint32_t>(std::lround(8363.0 * std::pow(2.0, sample.finetune / 1536.0)));
        if (xm) {
            sample.finetune = std::clamp(sample.finetune, -128, 127);
        } else {
            sample.finetune = 0;
        }
        sample.sixteenBit = number == bass || number == pad || number == organ || number == kick;
        if (number == pad && !xm) {
            std::vector<std::int16_t> stereo;
            const std::size_t frames = sample.data.size();
            for (std::size_t i = 0; i < frames; ++i) {
                stereo.push_back(sample.data[i]);
                stereo.push_back(sample.data[(i + 8) % frames]);
            }
            sample.data = stereo;
            sample.channels = 2;
        }
    }
    return module;
}

Module busyS3m()
{
    Module module = busyModuleOf(ModuleFormat::S3m);
    module.initialGlobalVolume = 128;
    module.mixingVolume = 96;
    return module;
}

// FastTracker 2's instruments: sustained volume envelopes released by the pad's
// key-offs and by the next notes' fade, a looping panning envelope, the lead's vibrato.
Module busyXm()
{
    Module module = busyModuleOf(ModuleFormat::Xm);
    module.linearSlides = true;
    module.samples[lead - 1].vibrato = {0, 16, 6, 8};
    for (int number = 1; number <= sampleCount; ++number) {
        Instrument instrument = instrumentOf(module.samples[static_cast<std::size_t>(number - 1)].name, number);
        if (number != kick && number != snare && number != hat) {
            instrument.volumeEnvelope = sustained(envelope({{0, 64}, {8, 52}, {24, 44}, {64, 0}}), 2, 2);
            instrument.fadeout = 1024;
        }
        if (number == pad || number == organ) {
            instrument.panningEnvelope = looped(envelope({{0, -16}, {32, 16}, {64, -16}}), 0, 2);
        }
        module.instruments.push_back(instrument);
    }
    return module;
}

// Impulse Tracker's instruments with the new-note actions that leave voices playing in
// the background: pads that ring on through the next chords under a filter, drums whose
// tails overlap (a new hi-hat cuts the old one), melodies that fade, a bass released by
// the next note, an organ with pitch and panning envelopes; a ping-pong pad loop.
Module busyIt()
{
    Module module = busyModuleOf(ModuleFormat::It);
    module.linearSlides = true;
    module.mixingVolume = 48;
    module.samples[pad - 1].loop = LoopMode::PingPong;
    module.samples[lead - 1].vibrato = {0, 16, 6, 8};
    for (int number = 1; number <= sampleCount; ++number) {
        Instrument instrument = instrumentOf(module.samples[static_cast<std::size_t>(number - 1)].name, number);
        switch (number) {
        case lead:
        case pluck:
            instrument.newNoteAction = NewNoteAction::NoteFade;
            instrument.fadeout = number == lead ? 2048 : 1024;
            instrument.volumeEnvelope = sustained(envelope({{0, 64}, {6, 48}, {30, 40}}), 2, 2);
            break;
        case bass:
            instrument.newNoteAction = NewNoteAction::NoteOff;
            instrument.duplicateCheck = DuplicateCheck::Note;
            instrument.duplicateAction = DuplicateAction::NoteFade;
            instrument.fadeout = 512;
            instrument.volumeEnvelope = sustained(envelope({{0, 64}, {4, 56}, {12, 48}, {40, 0}}), 2, 2);
            break;
        case pad:
            instrument.newNoteAction = NewNoteAction::Continue;
            instrument.volumeEnvelope = envelope({{0, 0}, {8, 64}, {48, 40}, {96, 0}});
            instrument.filterCutoff = 100;
            instrument.filterResonance = 24;
            break;
        case organ:
            instrument.newNoteAction = NewNoteAction::NoteOff;
            instrument.fadeout = 1024;
            instrument.volumeEnvelope = sustained(envelope({{0, 64}, {10, 48}, {40, 0}}), 1, 1);
            instrument.pitchEnvelope = looped(envelope({{0, 0}, {10, 2}, {20, -2}}), 0, 2);
            instrument.panningEnvelope = looped(envelope({{0, -16}, {32, 16}, {64, -16}}), 0, 2);
            break;
        default:
            instrument.newNoteAction = NewNoteAction::Continue;
            if (number == hat) {
                instrument.duplicateCheck = DuplicateCheck::Instrument;
                instrument.duplicateAction = DuplicateAction::Cut;
            }
            break;
        }
        module.instruments.push_back(instrument);
    }
    return module;
}

// The real module of a format with the largest file, usually the richest; empty when
// there is none.
std::string realModule(const std::string& extension)
{
    std::error_code error;
    std::string best;
    std::uintmax_t bestSize = 0;
    if (!std::filesystem::is_directory(realModulesDir, error)) {
        return best;
    }
    for (const auto& entry : std::filesystem::recursive_directory_iterator(realModulesDir, error)) {
        std::string name = entry.path().extension().string();
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        if (!entry.is_regular_file() || name != "." + extension) {
            continue;
        }
        const std::uintmax_t size = entry.file_size(error);
        if (size > bestSize || (size == bestSize && entry.path().string() < best)) {
            best = entry.path().string();
            bestSize = size;
        }
    }
    return best;
}

// The benchmarks' module files: the committed soundtrack, the modules built in code
// (written once into a temporary folder, removed at exit) and the real ones.
class ModuleFiles {
public:
    ~ModuleFiles()
    {
        if (!folder_.empty()) {
            std::error_code error;
            std::filesystem::remove_all(folder_, error);
        }
    }

    // The file of the module called `name`, or empty with the reason in `error`.
    std::string path(const std::string& name, std::string& error)
    {
        const auto known = paths_.find(name);
        if (known != paths_.end()) {
            return known->second;
        }
        std::string path;
        if (name == "soundtrack") {
            path = soundtrackPath;
            std::error_code missing;
            if (!std::filesystem::is_regular_file(path, missing)) {
                error = path + " is not there (yet)";
                return "";
            }
        } else if (name.size() > 5 && name.compare(name.size() - 5, 5, "_real") == 0) {
            const std::string extension = name.substr(0, name.size() - 5);
            path = realModule(extension);
            if (path.empty()) {
                error = "no ." + extension + " module under " + realModulesDir +
                        " (tools/fetch-real-modules.sh fetches them)";
                return path;
            }
        } else {
            if (!makeFolder(error)) {
                return "";
            }
            const Bytes bytes = build(name);
            const std::string extension = name == "s3m_busy" ? ".s3m" : name == "xm_busy" ? ".xm"
                                          : name == "it_busy" ? ".it" : ".mod";
            path = folder_ + "/" + name + extension;
            if (!writeFile(path, bytes)) {
                error = "cannot write " + path;
                return "";
            }
        }
        paths_[name] = path;
        return path;
    }

    // A scratch file in the temporary folder.
    std::string scratch(const std::string& name, std::string& error)
    {
        return makeFolder(error) ? folder_ + "/" + name : "";
    }

private:
    static Bytes build(const std::string& name)
    {
        if (name == "s3m_busy") {
            return writeS3m(busyS3m());
        }
        if (name == "xm_busy") {
            return writeXm(busyXm());
        }
        if (name == "it_busy") {
            return writeIt(busyIt(), ItSampleCoding::Compressed215);
        }
        if (name == "tiny") {
            // A single tick: what the peer costs before it makes any sound.
            ModSong tiny = makeEmptySong(4, 1);
            tiny.cells[0] = ModCell{0, 0, 0xF, 0x01};
            tiny.cells[1] = ModCell{0, 0, 0xB, 0x00};
            return writeMod(tiny);
        }
        return writeMod(busyModule(name == "channels_32" ? 32 : 4, 4));
    }

    bool makeFolder(std::string& error)
    {
        if (folder_.empty()) {
            char folderTemplate[] = "/tmp/thousand_bench_XXXXXX";
            if (mkdtemp(folderTemplate) == nullptr) {
                error = "cannot make a temporary folder";
                return false;
            }
            folder_ = folderTemplate;
        }
        return true;
    }

    std::string folder_;
    std::map<std::string, std::string> paths_;
};

ModuleFiles& moduleFiles()
{
    static ModuleFiles files;
    return files;
}

// The module called `name` as loaded from its file, or null with the reason in `error`.
std::unique_ptr<Module> loadBenchModule(const std::string& name, std::string& error)
{
    const std::string path = moduleFiles().path(name, error);
    if (path.empty()) {
        return nullptr;
    }
    const Bytes bytes = readFile(path);
    if (bytes.empty()) {
        error = path + " is not there (yet)";
        return nullptr;
    }
    auto module = std::make_unique<Module>();
    const LoadResult result = loadModule(bytes.data(), bytes.size(), *module);
    if (result != LoadResult::Loaded) {
        error = path + ": " + describe(result);
        return nullptr;
    }
    return module;
}

std::string fileName(const std::string& path)
{
    return std::filesystem::path(path).filename().string();
}

void BM_Render(benchmark::State& state, const std::string& name)
{
    std::string error;
    const std::unique_ptr<Module> module = loadBenchModule(name, error);
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
    state.SetLabel(fileName(moduleFiles().path(name, error)));
}

// Runs a command whose standard output is raw sound or text and returns how many bytes
// it wrote there, and the wall-clock seconds it took; negative when it failed.
double runCommand(const std::string& command, double& seconds)
{
    const Clock::time_point start = Clock::now();
    std::FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
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
    return status == 0 ? static_cast<double>(bytes) : -1.0;
}

std::string quoted(const std::string& path)
{
    return "'" + path + "'";
}

// The peer with linear interpolation like ours, writing raw 16-bit stereo to a pipe (its
// cheapest output): one pass of the song, or `seconds` of it played on in a loop.
std::string peerCommand(const std::string& path, int seconds = 0)
{
    std::string command = "openmpt123 --quiet --batch --no-float --subsong 0 --filter 2 --samplerate " +
                          std::to_string(rate);
    if (seconds > 0) {
        command += " --repeat -1 --end-time " + std::to_string(seconds);
    }
    return command + " --stdout " + quoted(path);
}

// Seconds of sound the peer made, and the wall-clock seconds it took; negative on failure.
double runPeer(const std::string& path, double& seconds)
{
    const double bytes = runCommand(peerCommand(path), seconds);
    return bytes < 0.0 ? -1.0 : bytes / 4.0 / rate;
}

// The peer's fastest run on a module of a single tick; negative when it does not run.
double peerStartSeconds()
{
    static double start = [] {
        std::string error;
        const std::string path = moduleFiles().path("tiny", error);
        double best = 1e9;
        for (int i = 0; i < 5 && !path.empty(); ++i) {
            double seconds = 0.0;
            if (runPeer(path, seconds) < 0.0) {
                return -1.0;
            }
            best = std::min(best, seconds);
        }
        return path.empty() ? -1.0 : best;
    }();
    return start;
}

void BM_Peer(benchmark::State& state, const std::string& name)
{
    std::string error;
    const std::string path = moduleFiles().path(name, error);
    if (path.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    const double start = peerStartSeconds();
    if (start < 0.0) {
        state.SkipWithError("openmpt123 did not run (is it installed?)");
        return;
    }
    double sound = 0.0;
    double work = 0.0;
    for (auto _ : state) {
        double seconds = 0.0;
        const double made = runPeer(path, seconds);
        // The peer's exit status does not tell a file it could not play.
        if (made <= 0.0) {
            state.SkipWithError(("openmpt123 made no sound of " + path).c_str());
            break;
        }
        state.SetIterationTime(seconds);
        sound += made;
        work += std::max(seconds - start, 1e-6);
    }
    state.counters["x_realtime"] = work > 0.0 ? sound / work : 0.0;
    state.counters["start_ms"] = start * 1000.0;
    state.SetLabel(fileName(path));
}

// Both players' whole processes on the same file and the same length, in turns so that
// the machine's load falls on both alike; each one's fastest run counts.
void BM_VersusPeer(benchmark::State& state, const std::string& name)
{
    std::string error;
    const std::string path = moduleFiles().path(name, error);
    const std::string wav = moduleFiles().scratch(name + ".wav", error);
    if (path.empty() || wav.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }
    const std::string ours = std::string(THOUSAND_MODRENDER) + " --seconds " + std::to_string(versusSeconds) + " " +
                             quoted(path) + " " + quoted(wav);
    const std::string peer = peerCommand(path, versusSeconds);
    const double expectedBytes = static_cast<double>(versusSeconds) * rate * 4.0;
    double oursBest = 1e9;
    double peerBest = 1e9;
    for (auto _ : state) {
        double oursSeconds = 0.0;
        double peerSeconds = 0.0;
        if (runCommand(ours, oursSeconds) < 0.0) {
            state.SkipWithError(("modrender failed on " + path).c_str());
            break;
        }
        std::error_code sizeError;
        const double oursBytes = static_cast<double>(std::filesystem::file_size(wav, sizeError));
        const double peerBytes = runCommand(peer, peerSeconds);
        if (peerBytes < 0.0) {
            state.SkipWithError(("openmpt123 failed on " + path).c_str());
            break;
        }
        // The two must have made the same sound's length (the WAV file has a header).
        const double oursSound = oursBytes - 44.0;
        if (std::abs(oursSound - expectedBytes) > 4.0 || std::abs(peerBytes - expectedBytes) > 0.01 * expectedBytes) {
            state.SkipWithError(("lengths differ: modrender " + std::to_string(oursSound) + " bytes, openmpt123 " +
                                 std::to_string(peerBytes) + ", expected " + std::to_string(expectedBytes))
                                    .c_str());
            break;
        }
        state.SetIterationTime(oursSeconds);
        oursBest = std::min(oursBest, oursSeconds);
        peerBest = std::min(peerBest, peerSeconds);
    }
    std::remove(wav.c_str());
    state.counters["ours_ms"] = oursBest * 1000.0;
    state.counters["peer_ms"] = peerBest * 1000.0;
    state.counters["peer_over_ours"] = peerBest / oursBest;
    state.SetLabel(fileName(path) + ", " + std::to_string(versusSeconds) + " s");
}

// Registers the three benchmarks of each module.
[[maybe_unused]] const bool registered = [] {
    const char* const names[] = {
        "soundtrack", "channels_4", "channels_32", "s3m_busy", "xm_busy", "it_busy",
        "mod_real",   "s3m_real",   "xm_real",     "it_real",
    };
    for (const char* name : names) {
        benchmark::RegisterBenchmark((std::string("BM_Render/") + name).c_str(), BM_Render, std::string(name))
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    for (const char* name : names) {
        benchmark::RegisterBenchmark((std::string("BM_Peer/") + name).c_str(), BM_Peer, std::string(name))
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->Iterations(3);
    }
    for (const char* name : names) {
        benchmark::RegisterBenchmark((std::string("BM_VersusPeer/") + name).c_str(), BM_VersusPeer, std::string(name))
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->Iterations(3);
    }
    return true;
}();

} // namespace
