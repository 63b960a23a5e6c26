#include "tools/assets/music_score.h"

#include <cstdint>
#include <stdexcept>

#include "tools/assets/music_samples.h"

namespace soundtrack {
namespace {

// Amiga periods at finetune 0, from the octave below period 428 to two above it.
const int periodTable[36] = {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
                             428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
                             214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};

} // namespace

int periodOf(int instrument, int pitch)
{
    const int index = pitch - contentPitch(instrument) + 12;
    if (index < 0 || index >= 36) {
        throw std::runtime_error("note " + std::to_string(pitch) + " is out of range for sample " +
                                 std::to_string(instrument));
    }
    return periodTable[index];
}

int parsePitch(const std::string& name)
{
    static const int letters[7] = {9, 11, 0, 2, 4, 5, 7};   // A B C D E F G
    if (name.size() < 2 || name[0] < 'A' || name[0] > 'G') {
        throw std::runtime_error("bad pitch " + name);
    }
    int pitch = letters[name[0] - 'A'];
    std::size_t at = 1;
    if (name[at] == '#') {
        ++pitch;
        ++at;
    } else if (name[at] == 'b') {
        --pitch;
        ++at;
    }
    if (at + 1 != name.size() || name[at] < '0' || name[at] > '9') {
        throw std::runtime_error("bad pitch " + name);
    }
    return pitch + 12 * (name[at] - '0' + 1);
}


std::vector<Chord> parseChords(const std::string& text, int keyShift)
{
    std::vector<Chord> chords;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find(' ', at) == std::string::npos ? text.size() : text.find(' ', at);
        const std::string name = text.substr(at, end - at);
        const bool minor = name.size() > 1 && name.back() == 'm';
        const int root = parsePitch(name.substr(0, minor ? name.size() - 1 : name.size()) + "4") - 60;
        chords.push_back({((root + keyShift) % 12 + 12) % 12, minor});
        at = end + 1;
    }
    return chords;
}

std::vector<MelodyNote> parseMelody(const std::string& text, int rows)
{
    std::vector<MelodyNote> notes;
    std::size_t at = 0;
    int row = 0;
    while (at < text.size()) {
        while (at < text.size() && text[at] == ' ') {
            ++at;
        }
        if (at == text.size()) {
            break;
        }
        std::size_t end = text.find(' ', at);
        end = end == std::string::npos ? text.size() : end;
        std::string token = text.substr(at, end - at);
        at = end;
        const std::size_t slash = token.find('/');
        if (slash == std::string::npos) {
            throw std::runtime_error("melody token without a length: " + token);
        }
        MelodyNote n{MelodyNote::note, row, std::stoi(token.substr(slash + 1)), 0, false};
        std::string what = token.substr(0, slash);
        if (what == "r") {
            n.kind = MelodyNote::rest;
        } else if (what == "-") {
            n.kind = MelodyNote::hold;
        } else {
            if (what[0] == '~') {
                n.glide = true;
                what = what.substr(1);
            }
            n.pitch = parsePitch(what);
        }
        notes.push_back(n);
        row += n.length;
    }
    if (row != rows) {
        throw std::runtime_error("melody of " + std::to_string(row) + " rows in a pattern of " +
                                 std::to_string(rows) + ": " + text);
    }
    return notes;
}

int harmonyBelow(int pitch, const Chord& chord)
{
    for (int below = pitch - 3;; --below) {
        const int interval = ((below - chord.root) % 12 + 12) % 12;
        if (interval == 0 || interval == 7 || interval == (chord.minor ? 3 : 4)) {
            return below;
        }
    }
}

} // namespace soundtrack
