// Writes the fuzzing seed corpus: small versions of the comparison's modules, modules
// that reach the replayer's awkward corners, small S3M, XM and IT modules of each
// format's effects, instruments and sample kinds, and damaged files for the loaders.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "sound/module.h"
#include "tests/sound/it_writer.h"
#include "tests/sound/module_parts.h"
#include "tests/sound/s3m_writer.h"
#include "tests/sound/test_modules.h"
#include "tests/sound/tracker_fields.h"
#include "tests/sound/xm_writer.h"
#include "tools/assets/mod_writer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t sampleHeaders = 20;
constexpr std::size_t sampleHeaderBytes = 30;
constexpr std::size_t songLengthOffset = sampleHeaders + 31 * sampleHeaderBytes;
constexpr std::size_t signatureOffset = songLengthOffset + 2 + 128;
constexpr std::size_t patternOffset = signatureOffset + 4;

// Cuts a module down to its first `patterns` patterns and short samples, keeping its
// effects, so that the fuzzer spends its time on the replayer rather than on copying.
ModSong shrink(ModSong module, int patterns, std::size_t sampleBytes)
{
    const int kept = patterns < module.patternCount ? patterns : module.patternCount;
    module.patternCount = kept;
    module.songLength = kept;
    for (int i = 0; i < ModSong::maxOrders; ++i) {
        module.orders[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i < kept ? i : 0);
    }
    module.cells.resize(static_cast<std::size_t>(kept * ModSong::rowsPerPattern * module.channels));
    for (ModSample& sample : module.samples) {
        if (sample.data.size() > sampleBytes) {
            sample.data.resize(sampleBytes);
        }
        if (sample.loopStart + sample.loopLength > sample.data.size()) {
            sample.loopStart = 0;
            sample.loopLength = sample.looped() ? static_cast<std::uint32_t>(sample.data.size()) : 0;
        }
    }
    return module;
}

// A four-channel module with a note on each channel and one row of effects.
ModSong cornerModule(const std::vector<ModCell>& row, int speed = 6)
{
    ModSong module = shrink(busyModule(4, 1), 1, 128);
    for (int c = 0; c < 4; ++c) {
        module.cell(0, 4, c) = c < static_cast<int>(row.size()) ? row[static_cast<std::size_t>(c)] : ModCell{};
        module.cell(0, 5, c) = ModCell{0, 0, row.empty() ? std::uint8_t{0} : row[0].effect,
                                          row.empty() ? std::uint8_t{0} : row[0].parameter};
    }
    module.cell(0, 0, 3) = ModCell{0, 0, 0xF, static_cast<std::uint8_t>(speed)};
    return module;
}

std::vector<std::pair<std::string, ModSong>> modules()
{
    std::vector<std::pair<std::string, ModSong>> out;
    for (const TestModule& test : comparisonModules()) {
        out.emplace_back(test.name, shrink(test.module, test.module.channels > 8 ? 1 : 2, 256));
    }
    ModSong soundtracker = shrink(busyModule(4, 1), 1, 200);
    soundtracker.samples.resize(15);
    out.emplace_back("soundtracker", soundtracker);

    const std::uint16_t low = 856, high = 113;
    const struct {
        const char* name;
        std::vector<ModCell> row;
        int speed;
    } corners[] = {
        {"offset_past_end", {{428, 1, 0x9, 0xFF}, {0, 0, 0x9, 0x80}}, 6},
        {"lone_sample_numbers", {{0, 2, 0, 0}, {0, 4, 0, 0}, {0, 31, 0, 0}, {0, 7, 0xC, 0x40}}, 6},
        {"jump_and_break", {{0, 0, 0xB, 0x00}, {0, 0, 0xD, 0x63}}, 6},
        {"break_far", {{0, 0, 0xD, 0x99}, {0, 0, 0xB, 0x7F}}, 6},
        {"delay_and_break", {{0, 0, 0xE, 0xEF}, {0, 0, 0xD, 0x10}, {0, 0, 0xE, 0xA1}}, 6},
        {"endless_loop", {{0, 0, 0xE, 0x60}, {0, 0, 0xE, 0x6F}, {0, 0, 0xE, 0x60}, {0, 0, 0xE, 0x6F}}, 6},
        {"loop_and_break", {{0, 0, 0xE, 0x63}, {0, 0, 0xD, 0x00}}, 6},
        {"note_delay_past_speed", {{428, 1, 0xE, 0xDF}, {214, 2, 0xE, 0xD4}}, 3},
        {"retrigger", {{428, 1, 0xE, 0x91}, {428, 6, 0xE, 0x90}, {0, 2, 0xE, 0x9F}}, 8},
        {"note_cut", {{428, 1, 0xE, 0xC0}, {428, 2, 0xE, 0xCF}}, 4},
        {"arpeggio_wrap", {{high, 1, 0x0, 0xFF}, {low, 2, 0x0, 0xFF}}, 12},
        {"slides_past_limits", {{high, 1, 0x1, 0xFF}, {low, 2, 0x2, 0xFF}, {high, 3, 0xE, 0x1F}, {low, 4, 0xE, 0x2F}}, 31},
        {"tone_portamento", {{low, 1, 0x3, 0xFF}, {high, 2, 0x5, 0xF0}, {0, 3, 0x3, 0x01}}, 6},
        {"vibrato_tremolo", {{428, 1, 0x4, 0xFF}, {428, 2, 0x7, 0xFF}, {0, 0, 0xE, 0x47}, {0, 0, 0xE, 0x77}}, 6},
        {"volume_extremes", {{428, 1, 0xC, 0xFF}, {428, 2, 0xA, 0xFF}, {428, 3, 0x6, 0x0F}, {428, 5, 0xE, 0xBF}}, 6},
        {"panning", {{428, 1, 0x8, 0xFF}, {428, 2, 0xE, 0x8F}, {428, 3, 0x8, 0x00}}, 6},
        {"fastest", {{0, 0, 0xF, 0xFF}, {0, 0, 0xF, 0x01}}, 1},
        {"slowest", {{0, 0, 0xF, 0x20}, {0, 0, 0xF, 0x1F}}, 31},
        {"speed_zero", {{0, 0, 0xF, 0x00}}, 6},
        {"glissando_finetune", {{428, 1, 0xE, 0x31}, {0, 0, 0xE, 0x5F}, {404, 2, 0x3, 0x10}}, 6},
        {"bad_periods", {{0xFFF, 1, 0, 0}, {1, 2, 0x3, 0x10}, {27, 3, 0x4, 0x88}}, 6},
    };
    for (const auto& corner : corners) {
        out.emplace_back(corner.name, cornerModule(corner.row, corner.speed));
    }

    ModSong tinySamples = cornerModule({{428, 1, 0, 0}, {428, 2, 0, 0}, {428, 3, 0, 0}, {428, 4, 0, 0}});
    tinySamples.samples[0].data.assign(2, 100);
    tinySamples.samples[0].loopLength = 2;
    tinySamples.samples[1].data.clear();
    tinySamples.samples[1].loopLength = 0;
    tinySamples.samples[2].data.assign(4, -100);
    tinySamples.samples[2].loopStart = 2;
    tinySamples.samples[2].loopLength = 2;
    out.emplace_back("tiny_samples", tinySamples);

    ModSong orders = shrink(busyModule(4, 2), 2, 64);
    orders.songLength = 128;
    for (int i = 0; i < ModSong::maxOrders; ++i) {
        orders.orders[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i % 3 == 2 ? 0xFE : i % 2);
    }
    orders.restartPosition = 127;
    out.emplace_back("long_orders", orders);

    out.emplace_back("channels_32", shrink(busyModule(32, 1), 1, 64));
    out.emplace_back("channels_5", shrink(busyModule(5, 1), 1, 64));
    return out;
}

// ProTracker's words are big-endian.
void putBigWord(Bytes& bytes, std::size_t offset, std::uint16_t value)
{
    bytes[offset] = static_cast<std::uint8_t>(value >> 8);
    bytes[offset + 1] = static_cast<std::uint8_t>(value);
}

// A damaged copy of a file, by its name.
using Damage = std::pair<std::string, Bytes>;

// A change that damages a file, and the name of the damaged copy.
struct Edit {
    const char* name;
    std::function<void(Bytes&)> damage;
};

// Adds to `out` a copy of `good` damaged by each of `edits`.
void addEdited(std::vector<Damage>& out, const Bytes& good, const std::vector<Edit>& edits)
{
    for (const Edit& edit : edits) {
        Bytes bytes = good;
        edit.damage(bytes);
        out.emplace_back(edit.name, bytes);
    }
}

Bytes cut(const Bytes& bytes, std::size_t length)
{
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(length, bytes.size())));
}

// Damaged copies of one small file: cut short at each part, with impossible lengths,
// song lengths and orders, an unknown signature and scattered flipped bits.
std::vector<Damage> damaged(const Bytes& good)
{
    std::vector<Damage> out;
    const struct {
        const char* name;
        std::size_t length;
    } cuts[] = {
        {"empty", 0},
        {"in_title", 10},
        {"in_sample_headers", sampleHeaders + 45},
        {"in_orders", songLengthOffset + 1},
        {"in_signature", signatureOffset + 2},
        {"in_first_pattern", patternOffset + 513},
        {"a_byte_before_second_pattern", patternOffset + 1024 - 1},
        {"in_second_pattern", patternOffset + 1024 + 100},
        {"in_samples", good.size() - 1},
    };
    for (const auto& [name, length] : cuts) {
        out.emplace_back(std::string("cut_") + name, cut(good, length));
    }
    addEdited(out, good, {
        {"sample_longer_than_file", [](Bytes& b) { putBigWord(b, sampleHeaders + 22, 0xFFFF); }},
        {"loop_past_sample", [](Bytes& b) {
             putBigWord(b, sampleHeaders + 26, 0x7000);
             putBigWord(b, sampleHeaders + 28, 0x7000);
         }},
        {"loop_overflowing", [](Bytes& b) {
             putBigWord(b, sampleHeaders + 22, 0x0010);
             putBigWord(b, sampleHeaders + 26, 0xFFFF);
             putBigWord(b, sampleHeaders + 28, 0xFFFF);
         }},
        {"volume_and_finetune_out_of_range", [](Bytes& b) {
             b[sampleHeaders + 24] = 0xFF;
             b[sampleHeaders + 25] = 0xFF;
         }},
        {"song_length_zero", [](Bytes& b) { b[songLengthOffset] = 0; }},
        {"song_length_129", [](Bytes& b) { b[songLengthOffset] = 129; }},
        {"orders_high_bit", [](Bytes& b) {
             b[songLengthOffset] = 4;
             b[songLengthOffset + 2] = 0x80;
             b[songLengthOffset + 3] = 0xFF;
             b[songLengthOffset + 4] = 0;
             b[songLengthOffset + 5] = 0x81;
         }},
        // Nothing to play: the player must end at once, looping or not (the padded copy
        // differs in size, so the fuzz target plays it with the other loop setting).
        {"orders_none_playable", [](Bytes& b) {
             b[songLengthOffset] = 1;
             b[songLengthOffset + 2] = 0x80;
         }},
        {"orders_none_playable_padded", [](Bytes& b) {
             b[songLengthOffset] = 1;
             b[songLengthOffset + 2] = 0x80;
             b.insert(b.end(), 4, 0);
         }},
        {"orders_past_patterns", [](Bytes& b) {
             b[songLengthOffset] = 2;
             b[songLengthOffset + 3] = 0x7F;
         }},
        {"unknown_signature", [](Bytes& b) { b[signatureOffset] = 'X'; }},
        {"signature_33ch", [](Bytes& b) {
             b[signatureOffset] = '3';
             b[signatureOffset + 1] = '3';
             b[signatureOffset + 2] = 'C';
             b[signatureOffset + 3] = 'H';
         }},
        {"signature_flt8", [](Bytes& b) {
             b[signatureOffset] = 'F';
             b[signatureOffset + 1] = 'L';
             b[signatureOffset + 2] = 'T';
             b[signatureOffset + 3] = '8';
         }},
        {"flipped_bits", [](Bytes& b) {
             for (std::size_t i = 7; i < b.size(); i += 97) {
                 b[i] ^= static_cast<std::uint8_t>(1u << (i % 8));
             }
         }},
        {"patterns_noise", [](Bytes& b) {
             std::uint32_t state = 99;
             for (std::size_t i = patternOffset; i < patternOffset + 1024 && i < b.size(); ++i) {
                 state = state * 1664525u + 1013904223u;
                 b[i] = static_cast<std::uint8_t>(state >> 24);
             }
         }},
    });
    return out;
}

// The PC trackers' formats, written by the test writers: small modules of four channels
// whose samples are of every kind the formats store (8 and 16 bits, mono and stereo,
// forward, ping-pong and sustain loops), each with one group of effects, instruments
// and envelopes, and damaged copies for the loaders.

Cell play(int note, int instrument)
{
    Cell cell;
    cell.note = static_cast<std::uint8_t>(note);
    cell.instrument = static_cast<std::uint8_t>(instrument);
    return cell;
}

Cell volumeCell(VolumeCommand command, int value)
{
    Cell cell;
    cell.volumeCommand = command;
    cell.volumeValue = static_cast<std::uint8_t>(value);
    return cell;
}

// An effect put on a cell of the first pattern, over whatever note the cell holds.
struct Placed {
    int row;
    int channel;
    Effect effect;
    int parameter;
};

void place(Module& module, const std::vector<Placed>& effects, int pattern = 0)
{
    for (const Placed& p : effects) {
        Cell& cell = module.cell(pattern, p.row, p.channel);
        cell.effect = p.effect;
        cell.parameter = static_cast<std::uint8_t>(p.parameter);
    }
}

// Frames of a tone with a noisy edge, so that the compressed IT samples use several of
// their widths; 8-bit samples are kept at 256 times their values, as the model holds them.
Sample seedSample(const char* name, std::uint32_t frames, int channels, bool sixteenBit, std::uint32_t seed)
{
    Sample sample;
    sample.name = name;
    sample.channels = channels;
    sample.sixteenBit = sixteenBit;
    std::uint32_t state = seed;
    for (std::uint32_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            state = state * 1664525u + 1013904223u;
            const int tone = (i + static_cast<std::uint32_t>(c) * 5) % 32 < 16 ? 12000 : -12000;
            const int noise = static_cast<int>(state >> 20) - 2048;
            int value = tone + (i % 24 < 3 ? noise * 8 : noise / 4);
            if (!sixteenBit) {
                value = value / 256 * 256;
            }
            sample.data.push_back(static_cast<std::int16_t>(value));
        }
    }
    return sample;
}

std::vector<Sample> seedSamples()
{
    Sample square = seedSample("square 8", 64, 1, false, 1);
    square.loop = LoopMode::Forward;
    square.loopEnd = 64;
    square.c5Speed = 8363;

    Sample saw = seedSample("saw 16", 96, 1, true, 2);
    saw.loop = LoopMode::PingPong;
    saw.loopStart = 16;
    saw.loopEnd = 96;
    saw.sustainLoop = LoopMode::Forward;
    saw.sustainEnd = 32;
    saw.c5Speed = 16726;
    saw.relativeNote = 12;
    saw.finetune = -64;
    saw.volume = 48;

    Sample hit = seedSample("hit 8 stereo", 80, 2, false, 3);
    hit.c5Speed = 11025;
    hit.relativeNote = -12;
    hit.finetune = 127;
    hit.panning = 64;

    Sample pad = seedSample("pad 16 stereo", 64, 2, true, 4);
    pad.loop = LoopMode::Forward;
    pad.loopStart = 8;
    pad.loopEnd = 64;
    pad.c5Speed = 22050;
    pad.relativeNote = 5;
    pad.finetune = 32;
    pad.globalVolume = 40;
    return {square, saw, hit, pad};
}

// Four channels, two patterns (64 rows for S3M, 32 otherwise), each channel playing a
// note every eight rows with the sample or instrument of its number.
Module seedModule(ModuleFormat format)
{
    Module module;
    module.format = format;
    module.title = "seed";
    module.channels = 4;
    module.channelSettings.resize(4);
    const int pannings[4] = {0, 256, 96, 160};
    for (int c = 0; c < 4; ++c) {
        module.channelSettings[static_cast<std::size_t>(c)].panning = pannings[c];
    }
    module.orders = {0, 1};
    module.linearSlides = format != ModuleFormat::S3m;
    module.samples = seedSamples();
    const int rows = format == ModuleFormat::S3m ? 64 : 32;
    module.patterns.resize(2);
    for (int p = 0; p < 2; ++p) {
        Pattern& pattern = module.patterns[static_cast<std::size_t>(p)];
        pattern.rows = rows;
        pattern.cells.resize(static_cast<std::size_t>(rows * 4));
        for (int c = 0; c < 4; ++c) {
            for (int r = 0; r < rows; r += 8) {
                module.cell(p, r, c) = play(49 + c * 7 + (r / 8 + p) % 5 * 2, c + 1);
            }
        }
    }
    return module;
}

// Instruments for XM and IT: a multi-sampled one with a looping, sustained volume
// envelope and a panning envelope; a plain one; one whose volume envelope ends in
// silence, with a pitch envelope; one whose keys reach no sample above the middle.
std::vector<Instrument> seedInstruments()
{
    std::vector<Instrument> instruments(4);
    for (std::size_t i = 0; i < instruments.size(); ++i) {
        for (std::size_t key = 0; key < noteLast; ++key) {
            instruments[i].keys[key] = {static_cast<std::uint8_t>(key + 1), static_cast<std::uint16_t>(i + 1)};
        }
    }
    Instrument& multi = instruments[0];
    multi.name = "multi";
    for (std::size_t key = noteMiddleC - 1; key < noteLast; ++key) {
        multi.keys[key].sample = 2;
    }
    multi.volumeEnvelope = sustained(looped(envelope({{0, 64}, {4, 32}, {10, 48}, {30, 16}, {40, 0}}), 1, 2), 2, 2);
    multi.panningEnvelope = looped(envelope({{0, -32}, {6, 32}, {12, 0}}), 0, 2);
    multi.fadeout = 4096;
    multi.newNoteAction = NewNoteAction::NoteFade;
    multi.duplicateCheck = DuplicateCheck::Note;
    multi.duplicateAction = DuplicateAction::NoteOff;

    instruments[1].name = "plain";
    instruments[1].newNoteAction = NewNoteAction::Continue;
    instruments[1].duplicateCheck = DuplicateCheck::Sample;
    instruments[1].duplicateAction = DuplicateAction::Cut;

    Instrument& fading = instruments[2];
    fading.name = "fading";
    fading.volumeEnvelope = envelope({{0, 64}, {20, 0}});
    fading.panningEnvelope = sustained(envelope({{0, 0}, {5, -20}, {9, 20}}), 1, 1);
    fading.pitchEnvelope = looped(envelope({{0, 0}, {3, 16}, {6, -16}}), 1, 2);
    fading.pitchEnvelope.carry = true;
    fading.newNoteAction = NewNoteAction::Continue;
    fading.duplicateCheck = DuplicateCheck::Instrument;
    fading.duplicateAction = DuplicateAction::NoteFade;
    fading.fadeout = 1024;

    Instrument& gaps = instruments[3];
    gaps.name = "gaps";
    for (std::size_t key = noteMiddleC; key < noteLast; ++key) {
        gaps.keys[key].sample = 0;
    }
    gaps.keys[10] = {noteLast, 4};
    gaps.newNoteAction = NewNoteAction::NoteOff;
    gaps.volumeEnvelope = sustained(envelope({{0, 40}, {2, 64}, {8, 20}}), 0, 1);
    gaps.volumeEnvelope.carry = true;
    gaps.fadeout = 60000;
    return instruments;
}

// Puts each of `commands` in the volume column of the first pattern's rows from 1 on, one
// a row, in every channel, each channel three rows after the one before.
void fillVolumeColumn(Module& module, const std::vector<std::pair<VolumeCommand, int>>& commands)
{
    int row = 1;
    for (const auto& [command, value] : commands) {
        for (int c = 0; c < 4; ++c) {
            Cell& cell = module.cell(0, (row + c * 3) % 32, c);
            cell.volumeCommand = command;
            cell.volumeValue = static_cast<std::uint8_t>(value);
        }
        ++row;
    }
}

std::vector<std::pair<std::string, Module>> s3mModules()
{
    std::vector<std::pair<std::string, Module>> out;

    Module pitch = seedModule(ModuleFormat::S3m);
    pitch.amigaLimits = true;
    place(pitch, {
        {1, 0, Effect::PortamentoDownS3m, 0x08}, {2, 0, Effect::PortamentoDownS3m, 0x00},
        {3, 0, Effect::PortamentoDownS3m, 0xF3}, {4, 0, Effect::PortamentoDownS3m, 0xE7},
        {9, 0, Effect::PortamentoUpS3m, 0x20}, {10, 0, Effect::PortamentoUpS3m, 0xF1},
        {11, 0, Effect::PortamentoUpS3m, 0xEF}, {12, 0, Effect::PortamentoUpS3m, 0x00},
        {8, 1, Effect::TonePortamentoS3m, 0x10}, {9, 1, Effect::TonePortamentoS3m, 0x00},
        {10, 1, Effect::TonePortamentoVolumeS3m, 0x02}, {16, 1, Effect::TonePortamentoS3m, 0xFF},
        {1, 2, Effect::VibratoS3m, 0x48}, {2, 2, Effect::VibratoS3m, 0x00}, {3, 2, Effect::FineVibrato, 0x8F},
        {4, 2, Effect::VibratoVolumeS3m, 0x20}, {5, 2, Effect::Special, 0x31}, {6, 2, Effect::VibratoS3m, 0x4F},
        {9, 2, Effect::Special, 0x33}, {10, 2, Effect::VibratoS3m, 0xFF},
        {1, 3, Effect::ArpeggioS3m, 0x37}, {2, 3, Effect::ArpeggioS3m, 0x00}, {3, 3, Effect::ArpeggioS3m, 0xFF},
        {4, 3, Effect::Special, 0x11}, {8, 3, Effect::Special, 0x2F}, {9, 3, Effect::TonePortamentoS3m, 0x04},
    });
    pitch.cell(0, 24, 0) = play(13, 1);
    pitch.cell(0, 25, 0).effect = Effect::PortamentoDownS3m;
    pitch.cell(0, 25, 0).parameter = 0xFF;
    pitch.cell(0, 32, 1) = play(noteLast, 2);
    pitch.cell(0, 33, 1).effect = Effect::PortamentoUpS3m;
    pitch.cell(0, 33, 1).parameter = 0xFF;
    out.emplace_back("s3m_pitch", pitch);

    Module volume = seedModule(ModuleFormat::S3m);
    volume.fastVolumeSlides = true;
    volume.initialGlobalVolume = 96;
    volume.mixingVolume = 20;
    place(volume, {
        {1, 0, Effect::VolumeSlideS3m, 0x05}, {2, 0, Effect::VolumeSlideS3m, 0x50},
        {3, 0, Effect::VolumeSlideS3m, 0xF1}, {4, 0, Effect::VolumeSlideS3m, 0x1F},
        {5, 0, Effect::VolumeSlideS3m, 0x00}, {6, 0, Effect::VolumeSlideS3m, 0xF0},
        {7, 0, Effect::VolumeSlideS3m, 0x0F}, {9, 0, Effect::VolumeSlideS3m, 0xFF},
        {1, 1, Effect::TremorS3m, 0x21}, {2, 1, Effect::TremorS3m, 0x00}, {3, 1, Effect::TremorS3m, 0x0F},
        {4, 1, Effect::TremoloS3m, 0x48}, {5, 1, Effect::TremoloS3m, 0x00}, {6, 1, Effect::Special, 0x42},
        {7, 1, Effect::TremoloS3m, 0xFF},
        {1, 2, Effect::RetriggerS3m, 0x38}, {2, 2, Effect::RetriggerS3m, 0x05}, {3, 2, Effect::RetriggerS3m, 0x00},
        {4, 2, Effect::RetriggerS3m, 0xF1}, {5, 2, Effect::RetriggerS3m, 0x8F}, {6, 2, Effect::RetriggerS3m, 0x61},
        {1, 3, Effect::GlobalVolumeS3m, 0x20}, {2, 3, Effect::GlobalVolumeS3m, 0x80},
        {3, 3, Effect::GlobalVolumeSlideS3m, 0x05}, {4, 3, Effect::ChannelVolume, 0x20},
        {5, 3, Effect::ChannelVolumeSlide, 0x05}, {6, 3, Effect::GlobalVolumeS3m, 0x00},
        {9, 3, Effect::GlobalVolumeS3m, 0x40},
    });
    volume.cell(0, 16, 0).volumeCommand = VolumeCommand::Volume;
    volume.cell(0, 16, 1) = volumeCell(VolumeCommand::Volume, 64);
    volume.cell(0, 17, 2) = volumeCell(VolumeCommand::Volume, 0);
    out.emplace_back("s3m_volume", volume);

    Module flow = seedModule(ModuleFormat::S3m);
    flow.orders = {0, orderSkip, 1, 7, orderEnd, 0};
    flow.initialSpeed = 3;
    flow.initialTempo = 250;
    place(flow, {
        {0, 3, Effect::SetSpeed, 0x03}, {2, 3, Effect::SetTempo, 0x20}, {3, 3, Effect::SetTempo, 0xFF},
        {4, 3, Effect::SetSpeed, 0x00}, {8, 3, Effect::Special, 0xB0}, {11, 3, Effect::Special, 0xB2},
        {12, 3, Effect::Special, 0xE2}, {13, 0, Effect::Special, 0xC2}, {14, 1, Effect::Special, 0xD3},
        {15, 2, Effect::Special, 0xD9}, {16, 3, Effect::Special, 0xEF}, {17, 0, Effect::Special, 0xC0},
        {20, 2, Effect::JumpToOrder, 0x02}, {20, 3, Effect::BreakToRow, 0x15},
    });
    place(flow, {
        {0, 3, Effect::Special, 0xB0}, {2, 3, Effect::Special, 0xB1}, {3, 2, Effect::Special, 0xB0},
        {4, 2, Effect::Special, 0xB1}, {5, 3, Effect::SetSpeed, 0x01}, {40, 3, Effect::BreakToRow, 0x99},
        {41, 2, Effect::JumpToOrder, 0xFF},
    }, 1);
    out.emplace_back("s3m_flow", flow);

    Module panning = seedModule(ModuleFormat::S3m);
    panning.stereo = false;
    panning.channelSettings[1].muted = true;
    Sample empty;
    empty.name = "empty";
    Sample tinyLoop = seedSample("one frame loop", 12, 1, false, 5);
    tinyLoop.loop = LoopMode::Forward;
    tinyLoop.loopStart = 10;
    tinyLoop.loopEnd = 11;
    panning.samples.push_back(empty);
    panning.samples.push_back(tinyLoop);
    place(panning, {
        {1, 0, Effect::Special, 0x80}, {2, 0, Effect::Special, 0x8F}, {3, 0, Effect::SetPanning, 0x00},
        {4, 0, Effect::SetPanning, 0x80}, {5, 0, Effect::SetPanning, 0xFF}, {6, 0, Effect::SetPanning, 0xA4},
        {8, 1, Effect::SampleOffsetS3m, 0x01}, {16, 1, Effect::SampleOffsetS3m, 0xFF},
        {17, 1, Effect::SampleOffsetS3m, 0x00}, {2, 3, Effect::Panbrello, 0x44}, {3, 3, Effect::MidiMacro, 0x40},
        {4, 3, Effect::PanningSlideS3m, 0x0F}, {5, 3, Effect::Special, 0x61},
    });
    panning.cell(0, 3, 2) = play(noteCut, 0);
    panning.cell(0, 5, 2) = play(noteNone, 2);
    panning.cell(0, 9, 2) = play(60, 0);
    panning.cell(0, 11, 2) = play(60, 9);
    panning.cell(0, 12, 2) = play(62, 5);
    panning.cell(0, 13, 2) = play(64, 6);
    out.emplace_back("s3m_panning_samples", panning);
    return out;
}

std::vector<std::pair<std::string, Module>> xmModules()
{
    std::vector<std::pair<std::string, Module>> out;

    Module effects = seedModule(ModuleFormat::Xm);
    place(effects, {
        {1, 0, Effect::PortamentoUp, 0x08}, {2, 0, Effect::PortamentoUp, 0x00},
        {3, 0, Effect::PortamentoDown, 0x10}, {4, 0, Effect::PortamentoDown, 0x00},
        {5, 0, Effect::Extended, 0x13}, {6, 0, Effect::Extended, 0x24}, {7, 0, Effect::ExtraFinePortamento, 0x12},
        {9, 0, Effect::ExtraFinePortamento, 0x23}, {10, 0, Effect::ExtraFinePortamento, 0x10},
        {11, 0, Effect::Arpeggio, 0x47}, {12, 0, Effect::Arpeggio, 0xFF},
        {8, 1, Effect::TonePortamento, 0x08}, {9, 1, Effect::TonePortamento, 0x00},
        {10, 1, Effect::TonePortamentoVolume, 0x03}, {11, 1, Effect::Vibrato, 0x46}, {12, 1, Effect::Vibrato, 0x00},
        {13, 1, Effect::VibratoVolume, 0x30}, {14, 1, Effect::Extended, 0x41}, {15, 1, Effect::Extended, 0x31},
        {16, 1, Effect::Tremolo, 0x8F}, {17, 1, Effect::Extended, 0x72}, {18, 1, Effect::Tremolo, 0x00},
        {1, 2, Effect::VolumeSlide, 0x04}, {2, 2, Effect::VolumeSlide, 0x40}, {3, 2, Effect::VolumeSlide, 0x00},
        {4, 2, Effect::Extended, 0xA3}, {5, 2, Effect::Extended, 0xB2}, {6, 2, Effect::SetVolume, 0x50},
        {7, 2, Effect::Tremor, 0x31}, {9, 2, Effect::Tremor, 0x00}, {10, 2, Effect::Retrigger, 0x83},
        {11, 2, Effect::Retrigger, 0x00}, {12, 2, Effect::Retrigger, 0xF1}, {13, 2, Effect::Extended, 0x93},
        {14, 2, Effect::Extended, 0xC2}, {15, 2, Effect::Extended, 0xD3}, {16, 2, Effect::SampleOffset, 0xFF},
        {17, 2, Effect::SampleOffset, 0x00}, {18, 2, Effect::Extended, 0xD9},
        {1, 3, Effect::Panning, 0x00}, {2, 3, Effect::Panning, 0xFF}, {3, 3, Effect::PanningSlide, 0x0F},
        {4, 3, Effect::PanningSlide, 0xF0}, {5, 3, Effect::PanningSlide, 0x00}, {6, 3, Effect::GlobalVolume, 0x20},
        {7, 3, Effect::GlobalVolume, 0x50}, {9, 3, Effect::GlobalVolumeSlide, 0x05},
        {10, 3, Effect::GlobalVolumeSlide, 0x50}, {11, 3, Effect::Extended, 0x50}, {12, 3, Effect::Extended, 0x60},
        {13, 3, Effect::Extended, 0x62}, {14, 3, Effect::Extended, 0xE2}, {15, 3, Effect::SpeedTempo, 0x03},
        {16, 3, Effect::SpeedTempo, 0x40}, {17, 3, Effect::SpeedTempo, 0x00}, {18, 3, Effect::Extended, 0xF0},
        {20, 3, Effect::PositionJump, 0x01}, {20, 2, Effect::PatternBreak, 0x10},
    });
    out.emplace_back("xm_effects", effects);

    Module column = seedModule(ModuleFormat::Xm);
    fillVolumeColumn(column, {
        {VolumeCommand::Volume, 0},          {VolumeCommand::Volume, 64},
        {VolumeCommand::VolumeSlideDown, 3}, {VolumeCommand::VolumeSlideUp, 15},
        {VolumeCommand::FineVolumeDown, 2},  {VolumeCommand::FineVolumeUp, 0},
        {VolumeCommand::VibratoSpeed, 7},    {VolumeCommand::VibratoDepth, 15},
        {VolumeCommand::VibratoDepth, 0},    {VolumeCommand::Panning, 0},
        {VolumeCommand::Panning, 15},        {VolumeCommand::PanningSlideLeft, 4},
        {VolumeCommand::PanningSlideRight, 15}, {VolumeCommand::TonePortamento, 15},
        {VolumeCommand::TonePortamento, 0},
    });
    out.emplace_back("xm_volume_column", column);

    Module envelopes = seedModule(ModuleFormat::Xm);
    envelopes.instruments = seedInstruments();
    envelopes.samples[0].vibrato = {0, 40, 8, 10};
    envelopes.samples[1].vibrato = {1, 255, 15, 0};
    envelopes.samples[2].vibrato = {2, 10, 4, 255};
    envelopes.samples[3].vibrato = {3, 20, 6, 3};
    envelopes.cell(0, 4, 0) = play(noteOff, 0);
    envelopes.cell(0, 9, 0) = play(70, 1);
    envelopes.cell(0, 12, 0) = play(noteOff, 1);
    envelopes.cell(0, 4, 1) = play(noteOff, 0);
    envelopes.cell(0, 4, 2) = play(noteOff, 0);
    envelopes.cell(0, 5, 2) = play(80, 4);
    envelopes.cell(0, 6, 3) = play(60, 5);
    place(envelopes, {
        {2, 0, Effect::KeyOff, 0x02}, {3, 0, Effect::EnvelopePosition, 0x08}, {10, 0, Effect::KeyOff, 0x00},
        {11, 0, Effect::EnvelopePosition, 0xFF}, {2, 1, Effect::KeyOff, 0x1F}, {9, 1, Effect::EnvelopePosition, 0x03},
        {10, 2, Effect::Extended, 0xC1}, {11, 2, Effect::Extended, 0xD1}, {12, 3, Effect::Extended, 0x91},
    });
    out.emplace_back("xm_envelopes", envelopes);

    Module amiga = seedModule(ModuleFormat::Xm);
    amiga.linearSlides = false;
    amiga.samples[0].relativeNote = 48;
    amiga.samples[1].relativeNote = -48;
    amiga.samples[2].finetune = -128;
    amiga.patterns[1].rows = 1;
    amiga.patterns[1].cells.resize(4);
    amiga.orders = {0, 1, 9, 0};
    amiga.restartPosition = 2;
    amiga.cell(0, 16, 0) = play(13, 1);
    amiga.cell(0, 16, 1) = play(108, 2);
    place(amiga, {
        {1, 0, Effect::PortamentoUp, 0xFF}, {2, 0, Effect::PortamentoDown, 0xFF}, {17, 0, Effect::PortamentoDown, 0xFF},
        {1, 1, Effect::Vibrato, 0xFF}, {17, 1, Effect::PortamentoUp, 0xFF}, {8, 2, Effect::TonePortamento, 0x01},
        {9, 2, Effect::Extended, 0x5F}, {10, 3, Effect::Extended, 0x1F}, {11, 3, Effect::Extended, 0x2F},
    });
    out.emplace_back("xm_amiga_slides", amiga);
    return out;
}

std::vector<std::pair<std::string, Module>> itModules()
{
    std::vector<std::pair<std::string, Module>> out;

    Module effects = seedModule(ModuleFormat::It);
    place(effects, {
        {1, 0, Effect::PortamentoDownS3m, 0x08}, {2, 0, Effect::PortamentoDownS3m, 0xF3},
        {3, 0, Effect::PortamentoDownS3m, 0xE7}, {4, 0, Effect::PortamentoUpS3m, 0x00},
        {8, 0, Effect::TonePortamentoS3m, 0x10}, {9, 0, Effect::TonePortamentoVolumeS3m, 0x02},
        {10, 0, Effect::VibratoS3m, 0x48}, {11, 0, Effect::FineVibrato, 0x8F}, {12, 0, Effect::VibratoVolumeS3m, 0x20},
        {13, 0, Effect::ArpeggioS3m, 0x37}, {14, 0, Effect::Panbrello, 0x44}, {15, 0, Effect::Special, 0x52},
        {16, 0, Effect::Panbrello, 0x00},
        {1, 1, Effect::VolumeSlideS3m, 0x05}, {2, 1, Effect::VolumeSlideS3m, 0xF1},
        {3, 1, Effect::ChannelVolume, 0x20}, {4, 1, Effect::ChannelVolume, 0x50},
        {5, 1, Effect::ChannelVolumeSlide, 0x05}, {6, 1, Effect::ChannelVolumeSlide, 0xF1},
        {7, 1, Effect::ChannelVolumeSlide, 0x1F}, {9, 1, Effect::TremorS3m, 0x21}, {10, 1, Effect::TremoloS3m, 0x48},
        {11, 1, Effect::RetriggerS3m, 0x38}, {12, 1, Effect::GlobalVolumeSlideS3m, 0x05},
        {13, 1, Effect::GlobalVolumeS3m, 0x80}, {14, 1, Effect::GlobalVolumeS3m, 0xFF},
        {15, 1, Effect::GlobalVolumeSlideS3m, 0xF2},
        {1, 2, Effect::SetTempo, 0x05}, {2, 2, Effect::SetTempo, 0x1F}, {3, 2, Effect::SetTempo, 0x00},
        {4, 2, Effect::Special, 0x62}, {5, 2, Effect::Special, 0xB0}, {6, 2, Effect::Special, 0xB2},
        {7, 2, Effect::Special, 0xE1}, {8, 2, Effect::Special, 0xA1}, {9, 2, Effect::SampleOffsetS3m, 0x10},
        {10, 2, Effect::Special, 0xC0}, {11, 2, Effect::Special, 0xD2}, {12, 2, Effect::SetSpeed, 0x02},
        {20, 2, Effect::BreakToRow, 0x1F},
        {1, 3, Effect::SetPanning, 0x00}, {2, 3, Effect::Special, 0x8F}, {3, 3, Effect::Special, 0x91},
        {4, 3, Effect::PanningSlideS3m, 0x05}, {5, 3, Effect::PanningSlideS3m, 0xF1},
        {6, 3, Effect::PanningSlideS3m, 0x1F}, {7, 3, Effect::MidiMacro, 0x20}, {9, 3, Effect::MidiMacro, 0x8F},
        {10, 3, Effect::Special, 0xF1}, {11, 3, Effect::MidiMacro, 0x7F}, {12, 3, Effect::Special, 0x90},
    });
    out.emplace_back("it_effects", effects);

    Module column = seedModule(ModuleFormat::It);
    fillVolumeColumn(column, {
        {VolumeCommand::Volume, 0},          {VolumeCommand::Volume, 64},
        {VolumeCommand::FineVolumeUp, 9},    {VolumeCommand::FineVolumeDown, 0},
        {VolumeCommand::VolumeSlideUp, 5},   {VolumeCommand::VolumeSlideDown, 9},
        {VolumeCommand::PortamentoDown, 3},  {VolumeCommand::PortamentoUp, 9},
        {VolumeCommand::Panning, 0},         {VolumeCommand::Panning, 64},
        {VolumeCommand::TonePortamento, 9},  {VolumeCommand::TonePortamento, 0},
        {VolumeCommand::VibratoDepth, 4},    {VolumeCommand::VibratoDepth, 0},
    });
    out.emplace_back("it_volume_column", column);

    // Notes that pile up in the background through the new-note actions, the notes that
    // end them, and the commands that change them while they play.
    Module instruments = seedModule(ModuleFormat::It);
    instruments.instruments = seedInstruments();
    Instrument& filtered = instruments.instruments[2];
    filtered.filterCutoff = 60;
    filtered.filterResonance = 100;
    filtered.pitchEnvelope.filter = true;
    filtered.globalVolume = 100;
    filtered.panning = 200;
    filtered.randomVolume = 50;
    filtered.randomPanning = 64;
    Instrument& spread = instruments.instruments[1];
    spread.pitchPanSeparation = -32;
    spread.pitchPanCentre = 40;
    instruments.samples[0].vibrato = {4, 64, 32, 20};
    instruments.samples[3].vibrato = {1, 10, 8, 255};
    for (int r = 1; r < 8; ++r) {
        instruments.cell(0, r, 1) = play(49 + r, 2);
        instruments.cell(0, r, 2) = play(60 + r, 3);
    }
    instruments.cell(0, 9, 0) = play(noteFade, 0);
    instruments.cell(0, 10, 0) = play(noteOff, 0);
    instruments.cell(0, 11, 0) = play(noteCut, 0);
    instruments.cell(0, 12, 0) = play(noteNone, 1);
    instruments.cell(0, 13, 0) = play(72, 4);
    instruments.cell(0, 14, 0) = play(40, 4);
    instruments.cell(0, 15, 0) = play(65, 9);
    place(instruments, {
        {2, 1, Effect::Special, 0x70}, {3, 1, Effect::Special, 0x71}, {4, 1, Effect::Special, 0x72},
        {5, 1, Effect::Special, 0x73}, {6, 1, Effect::Special, 0x74}, {7, 1, Effect::Special, 0x75},
        {2, 2, Effect::Special, 0x76}, {3, 2, Effect::Special, 0x77}, {4, 2, Effect::Special, 0x78},
        {5, 2, Effect::Special, 0x79}, {6, 2, Effect::Special, 0x7A}, {7, 2, Effect::Special, 0x7B},
        {9, 2, Effect::Special, 0x7C}, {10, 2, Effect::MidiMacro, 0x10}, {16, 3, Effect::TonePortamentoS3m, 0x20},
    });
    out.emplace_back("it_instruments", instruments);

    Module samples = seedModule(ModuleFormat::It);
    samples.oldEffects = true;
    samples.compatibleGxx = true;
    samples.linearSlides = false;
    samples.stereo = false;
    samples.channelSettings[0].surround = true;
    samples.channelSettings[1].muted = true;
    samples.channelSettings[2].volume = 20;
    samples.initialGlobalVolume = 60;
    samples.mixingVolume = 128;
    samples.patterns[1].rows = 1;
    samples.patterns[1].cells.resize(4);
    samples.orders = {0, orderSkip, 1, orderEnd};
    place(samples, {
        {1, 0, Effect::VibratoS3m, 0x8F}, {2, 0, Effect::PortamentoUpS3m, 0xFF},
        {8, 0, Effect::TonePortamentoS3m, 0x08},
        {9, 0, Effect::SampleOffsetS3m, 0x40}, {16, 3, Effect::SampleOffsetS3m, 0xFF}, {17, 3, Effect::Special, 0xAF},
        {24, 2, Effect::TonePortamentoVolumeS3m, 0x01},
    });
    out.emplace_back("it_sample_mode_old_effects", samples);
    return out;
}

void scramble(Bytes& bytes, std::size_t from, std::size_t to, std::uint32_t seed)
{
    for (std::size_t i = from; i < to && i < bytes.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        bytes[i] = static_cast<std::uint8_t>(seed >> 24);
    }
}

std::vector<Damage> damagedS3m(const Bytes& good)
{
    const std::size_t orders = littleWord(good, 0x20);
    const std::size_t samples = littleWord(good, 0x22);
    const std::size_t sampleHeader = littleWord(good, 0x60 + orders) * 16;
    const std::size_t pattern = littleWord(good, 0x60 + orders + samples * 2) * 16;
    const std::size_t sampleData =
        (static_cast<std::size_t>(good[sampleHeader + 0x0D]) << 16 | littleWord(good, sampleHeader + 0x0E)) * 16;
    std::vector<Damage> out = {
        {"cut_in_header", cut(good, 0x30)},
        {"cut_in_orders", cut(good, 0x60 + orders / 2)},
        {"cut_in_sample_header", cut(good, sampleHeader + 0x20)},
        {"cut_in_pattern", cut(good, pattern + 40)},
        {"cut_in_samples", cut(good, sampleData + 10)},
    };
    addEdited(out, good, {
        {"huge_sample", [&](Bytes& b) { putLittleDword(b, sampleHeader + 0x10, 0x7FFFFFFF); }},
        {"loop_past_sample", [&](Bytes& b) {
             putLittleDword(b, sampleHeader + 0x14, 0x1000);
             putLittleDword(b, sampleHeader + 0x18, 0xFFFFFFF0);
         }},
        {"sample_past_file", [&](Bytes& b) { putLittleWord(b, sampleHeader + 0x0E, 0xFFFF); }},
        {"c5speed_extremes", [&](Bytes& b) {
             putLittleDword(b, sampleHeader + 0x20, 0);
             putLittleDword(b, sampleHeader + 0x50 + 0x20, 0xFFFFFFFF);
         }},
        {"pattern_past_file", [&](Bytes& b) { putLittleWord(b, 0x60 + orders + samples * 2, 0xFFFF); }},
        {"pattern_length_short", [&](Bytes& b) { putLittleWord(b, pattern, 3); }},
        {"pattern_noise", [&](Bytes& b) { scramble(b, pattern + 2, pattern + 300, 7); }},
        {"no_channels", [](Bytes& b) { std::fill(b.begin() + 0x40, b.begin() + 0x60, std::uint8_t{255}); }},
        {"counts_huge", [](Bytes& b) {
             putLittleWord(b, 0x22, 0xFFFF);
             putLittleWord(b, 0x24, 0xFFFF);
         }},
    });
    return out;
}

std::vector<Damage> damagedXm(const Bytes& good)
{
    const std::size_t headerEnd = 60 + littleDword(good, 60);
    const std::size_t patterns = littleWord(good, 70);
    std::size_t instrument = headerEnd;
    for (std::size_t p = 0; p < patterns; ++p) {
        instrument += littleDword(good, instrument) + littleWord(good, instrument + 7);
    }
    const std::size_t sampleHeader = instrument + littleDword(good, instrument);
    const std::size_t sampleCount = littleWord(good, instrument + 27);
    std::size_t sampleData = sampleHeader + sampleCount * 40;
    std::vector<Damage> out = {
        {"cut_in_header", cut(good, 70)},
        {"cut_in_pattern", cut(good, headerEnd + 30)},
        {"cut_in_instrument", cut(good, instrument + 100)},
        {"cut_in_samples", cut(good, sampleData + 20)},
    };
    addEdited(out, good, {
        {"huge_sample", [&](Bytes& b) { putLittleDword(b, sampleHeader, 0xFFFFFFFF); }},
        {"loop_past_sample", [&](Bytes& b) {
             putLittleDword(b, sampleHeader + 4, 0x7FFFFFFF);
             putLittleDword(b, sampleHeader + 8, 0x7FFFFFFF);
         }},
        {"instrument_size_zero", [&](Bytes& b) { putLittleDword(b, instrument, 0); }},
        {"instrument_size_huge", [&](Bytes& b) { putLittleDword(b, instrument, 0xFFFFFFF0); }},
        {"samples_per_instrument_huge", [&](Bytes& b) { putLittleWord(b, instrument + 27, 0xFFFF); }},
        {"envelope_points_too_many", [&](Bytes& b) {
             b[instrument + 225] = 200;
             b[instrument + 226] = 13;
         }},
        {"pattern_header_huge", [&](Bytes& b) { putLittleDword(b, headerEnd, 0xFFFFFF00); }},
        {"pattern_rows_zero", [&](Bytes& b) { putLittleWord(b, headerEnd + 5, 0); }},
        {"pattern_rows_many", [&](Bytes& b) { putLittleWord(b, headerEnd + 5, 0xFFFF); }},
        {"pattern_noise", [&](Bytes& b) { scramble(b, headerEnd + 9, headerEnd + 200, 11); }},
        {"header_size_huge", [](Bytes& b) { putLittleDword(b, 60, 0xFFFFFFF0); }},
        {"counts_huge", [](Bytes& b) {
             putLittleWord(b, 64, 0xFFFF);
             putLittleWord(b, 68, 0xFFFF);
             putLittleWord(b, 70, 0xFFFF);
             putLittleWord(b, 72, 0xFFFF);
         }},
    });
    return out;
}

// Damaged copies of an IT file; when its samples are compressed, damage to their data
// lands in the blocks' lengths and widths.
std::vector<Damage> damagedIt(const Bytes& good)
{
    const ItLayout at(good);
    std::vector<Damage> out = {
        {"cut_in_header", cut(good, 0x30)},
        {"cut_in_pointers", cut(good, at.samplePointers + 2)},
        {"cut_in_instrument", cut(good, at.instrument + 0x140)},
        {"cut_in_pattern", cut(good, at.pattern + 30)},
        {"cut_in_samples", cut(good, at.sampleData + 21)},
    };
    addEdited(out, good, {
        {"huge_sample", [&](Bytes& b) { putLittleDword(b, at.sample + 0x30, 0x7FFFFFFF); }},
        {"loops_past_sample", [&](Bytes& b) {
             putLittleDword(b, at.sample + 0x34, 10);
             putLittleDword(b, at.sample + 0x38, 0xFFFFFFFF);
             putLittleDword(b, at.sample + 0x40, 0xFFFFFF00);
             putLittleDword(b, at.sample + 0x44, 5);
         }},
        {"sample_past_file", [&](Bytes& b) { putLittleDword(b, at.sample + 0x48, 0xFFFFFF00); }},
        {"block_length_past_file", [&](Bytes& b) { putLittleWord(b, at.sampleData, 0xFFFF); }},
        {"block_length_zero", [&](Bytes& b) { putLittleWord(b, at.sampleData, 0); }},
        {"compressed_noise", [&](Bytes& b) { scramble(b, at.sampleData + 2, b.size(), 13); }},
        {"envelope_points_too_many", [&](Bytes& b) {
             b[at.instrument + 0x131] = 26;
             b[at.instrument + 0x183] = 255;
             b[at.instrument + 0x1D5] = 0;
         }},
        {"envelope_loop_past_points", [&](Bytes& b) {
             b[at.instrument + 0x130] = 7;
             b[at.instrument + 0x132] = 30;
             b[at.instrument + 0x133] = 1;
             b[at.instrument + 0x134] = 200;
             b[at.instrument + 0x135] = 200;
         }},
        {"keys_out_of_range", [&](Bytes& b) {
             for (std::size_t key = 0; key < 120; ++key) {
                 b[at.instrument + 0x40 + key * 2] = static_cast<std::uint8_t>(key * 37);
                 b[at.instrument + 0x41 + key * 2] = static_cast<std::uint8_t>(key * 53);
             }
         }},
        {"pattern_rows_zero", [&](Bytes& b) { putLittleWord(b, at.pattern + 2, 0); }},
        {"pattern_rows_many", [&](Bytes& b) { putLittleWord(b, at.pattern + 2, 0xFFFF); }},
        {"pattern_length_past_file", [&](Bytes& b) { putLittleWord(b, at.pattern, 0xFFFF); }},
        {"pattern_noise", [&](Bytes& b) { scramble(b, at.pattern + 8, at.pattern + 200, 17); }},
        {"pointers_past_file", [&](Bytes& b) {
             putLittleDword(b, at.instrumentPointers, 0xFFFFFFF0);
             putLittleDword(b, at.patternPointers, 0x7FFFFFFF);
         }},
        {"counts_huge", [](Bytes& b) {
             putLittleWord(b, 0x20, 0xFFFF);
             putLittleWord(b, 0x22, 0xFFFF);
             putLittleWord(b, 0x24, 0xFFFF);
             putLittleWord(b, 0x26, 0xFFFF);
         }},
    });
    return out;
}

// A 16-bit sample longer than one compressed block, mostly silence so that it stays
// small, with a step across the blocks' border.
Module twoBlockModule()
{
    Module module = seedModule(ModuleFormat::It);
    Sample& longSample = module.samples[1];
    longSample.data.assign(0x4000 + 200, 0);
    for (std::size_t i = 0x4000 - 50; i < 0x4000 + 50; ++i) {
        longSample.data[i] = static_cast<std::int16_t>(i % 7 * 3000 - 9000);
    }
    longSample.loopStart = 0x3F00;
    longSample.loopEnd = 0x4000 + 100;
    longSample.sustainLoop = LoopMode::None;
    return module;
}

// The sample codings each IT seed is written in: the instruments' module in all three,
// the others in one each, so that each coding meets every kind of sample.
std::vector<ItSampleCoding> codingsOf(const std::string& name)
{
    if (name == "it_instruments") {
        return {ItSampleCoding::Raw, ItSampleCoding::Compressed214, ItSampleCoding::Compressed215};
    }
    if (name == "it_volume_column") {
        return {ItSampleCoding::Compressed214};
    }
    if (name == "it_sample_mode_old_effects") {
        return {ItSampleCoding::Compressed215};
    }
    return {ItSampleCoding::Raw};
}

std::string suffixOf(ItSampleCoding coding)
{
    return coding == ItSampleCoding::Compressed214 ? "_214" : coding == ItSampleCoding::Compressed215 ? "_215" : "";
}

std::vector<std::pair<std::string, Bytes>> pcFormatFiles()
{
    std::vector<std::pair<std::string, Bytes>> files;
    for (const auto& [name, module] : s3mModules()) {
        files.emplace_back(name + ".s3m", writeS3m(module));
    }
    for (const auto& [name, module] : xmModules()) {
        files.emplace_back(name + ".xm", writeXm(module));
    }
    for (const auto& [name, module] : itModules()) {
        for (const ItSampleCoding coding : codingsOf(name)) {
            files.emplace_back(name + suffixOf(coding) + ".it", writeIt(module, coding));
        }
    }
    files.emplace_back("it_two_blocks_215.it", writeIt(twoBlockModule(), ItSampleCoding::Compressed215));
    files.emplace_back("it_two_blocks_214.it", writeIt(twoBlockModule(), ItSampleCoding::Compressed214));

    // The damaged copies start from modules with the most to damage: XM's and IT's with
    // instruments (xm_envelopes, it_instruments), IT's with compressed and raw samples.
    for (const auto& [name, bytes] : damagedS3m(writeS3m(s3mModules().front().second))) {
        files.emplace_back("damaged_" + name + ".s3m", bytes);
    }
    for (const auto& [name, bytes] : damagedXm(writeXm(xmModules()[2].second))) {
        files.emplace_back("damaged_" + name + ".xm", bytes);
    }
    const Module itInstruments = itModules()[2].second;
    for (const auto& [name, bytes] : damagedIt(writeIt(itInstruments, ItSampleCoding::Compressed215))) {
        files.emplace_back("damaged_" + name + ".it", bytes);
    }
    for (const auto& [name, bytes] : damagedIt(writeIt(itInstruments, ItSampleCoding::Raw))) {
        if (name.compare(0, 4, "cut_") == 0 || name == "huge_sample") {
            files.emplace_back("damaged_raw_" + name + ".it", bytes);
        }
    }
    return files;
}

bool write(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_corpus OUTPUT_DIRECTORY\n");
        return 2;
    }
    const std::string folder = argv[1];
    std::vector<std::pair<std::string, Bytes>> files;
    for (const auto& module : modules()) {
        files.emplace_back(module.first + ".mod", writeMod(module.second));
    }
    const Bytes good = writeMod(shrink(comparisonModules().front().module, 2, 128));
    for (const auto& file : damaged(good)) {
        files.emplace_back("damaged_" + file.first + ".mod", file.second);
    }
    for (auto& file : pcFormatFiles()) {
        files.push_back(std::move(file));
    }
    for (const auto& file : files) {
        if (!write(folder + "/" + file.first, file.second)) {
            std::fprintf(stderr, "make_fuzz_corpus: cannot write %s/%s\n", folder.c_str(), file.first.c_str());
            return 1;
        }
    }
    std::printf("%zu files in %s\n", files.size(), folder.c_str());
    return 0;
}
