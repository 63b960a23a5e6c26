// Writes the fuzzing seed corpus: small versions of the comparison's modules, modules
// that reach the replayer's awkward corners, and damaged files for the loader.
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "tests/sound/test_modules.h"
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

void putWord(Bytes& bytes, std::size_t offset, std::uint16_t value)
{
    bytes[offset] = static_cast<std::uint8_t>(value >> 8);
    bytes[offset + 1] = static_cast<std::uint8_t>(value);
}

// Damaged copies of one small file: cut short at each part, with impossible lengths,
// song lengths and orders, an unknown signature and scattered flipped bits.
std::vector<std::pair<std::string, Bytes>> damaged(const Bytes& good)
{
    std::vector<std::pair<std::string, Bytes>> out;
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
    for (const auto& cut : cuts) {
        out.emplace_back(std::string("cut_") + cut.name,
                         Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut.length)));
    }
    const struct {
        const char* name;
        std::function<void(Bytes&)> damage;
    } edits[] = {
        {"sample_longer_than_file", [](Bytes& b) { putWord(b, sampleHeaders + 22, 0xFFFF); }},
        {"loop_past_sample", [](Bytes& b) {
             putWord(b, sampleHeaders + 26, 0x7000);
             putWord(b, sampleHeaders + 28, 0x7000);
         }},
        {"loop_overflowing", [](Bytes& b) {
             putWord(b, sampleHeaders + 22, 0x0010);
             putWord(b, sampleHeaders + 26, 0xFFFF);
             putWord(b, sampleHeaders + 28, 0xFFFF);
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
    };
    for (const auto& edit : edits) {
        Bytes bytes = good;
        edit.damage(bytes);
        out.emplace_back(edit.name, bytes);
    }
    return out;
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
    for (const auto& file : files) {
        if (!write(folder + "/" + file.first, file.second)) {
            std::fprintf(stderr, "make_fuzz_corpus: cannot write %s/%s\n", folder.c_str(), file.first.c_str());
            return 1;
        }
    }
    std::printf("%zu files in %s\n", files.size(), folder.c_str());
    return 0;
}
