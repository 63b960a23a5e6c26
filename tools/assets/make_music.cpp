// Composes the show's soundtrack and writes it as an 8-channel ProTracker module: a
// warm, bright tune in A major at 128 beats per minute, with its own synthesised
// instruments. Deterministic: the same bytes on every run.
//
//     make_music OUTPUT.mod
//
// The score is written in C major and sounds three semitones lower. One pattern is
// four bars of sixteen rows. The song plays a short intro once, then loops from the
// first verse: the last pattern ends on a jump back to it.
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/assets/mod_writer.h"
#include "tools/assets/music_samples.h"
#include "tools/assets/music_score.h"
#include "tools/output/output_file.h"

namespace {

using namespace soundtrack;

constexpr int channelCount = 8;
constexpr int keyShift = -3;   // written in C, heard in A
constexpr int speed = 6;
constexpr int tempo = 128;

// The channels, panned left, right, right, left as on the Amiga (and again for 5 to 8).
enum Channel : int {
    kickChannel = 0,    // left
    bassChannel = 1,    // right
    snareChannel = 2,   // right
    hatChannel = 3,     // left
    leadChannel = 4,    // left
    echoChannel = 5,    // right: the lead's echo, or its harmony in the last choruses
    padChannel = 6,     // right
    arpChannel = 7,     // left
};


constexpr int setVolume = 0xC;

// Drum bars: one character per row.
//   kick   x full, m medium, g soft
//   snare  x full, g ghost, 1-9 rising volumes, r roll (two strokes a row), t u v toms
//   hats   x closed, c soft closed, g ghost, o open, C crash
void drumBar(PatternWriter& p, int bar, const std::string& kicks, const std::string& snares,
             const std::string& hats)
{
    auto at = [](const std::string& line, int i) {
        return i < static_cast<int>(line.size()) ? line[static_cast<std::size_t>(i)] : '.';
    };
    for (int i = 0; i < rowsPerBar; ++i) {
        const int row = bar * rowsPerBar + i;
        const char k = at(kicks, i);
        const char s = at(snares, i);
        const char h = at(hats, i);
        if (k == 'x') {
            p.note(row, kickChannel, kick, 428);
        } else if (k == 'm') {
            p.note(row, kickChannel, kick, 428, setVolume, 44);
        } else if (k == 'g') {
            p.note(row, kickChannel, kick, 428, setVolume, 30);
        }
        if (s == 'x') {
            p.note(row, snareChannel, snare, 214);
        } else if (s == 'g') {
            p.note(row, snareChannel, snare, 214, setVolume, 14);
        } else if (s >= '1' && s <= '9') {
            p.note(row, snareChannel, snare, 214, setVolume, 7 * (s - '0'));
        } else if (s == 'r') {
            p.note(row, snareChannel, snare, 214, 0xE, 0x93);
        } else if (s == 't') {
            p.note(row, snareChannel, tom, 285);
        } else if (s == 'u') {
            p.note(row, snareChannel, tom, 339);
        } else if (s == 'v') {
            p.note(row, snareChannel, tom, 428);
        }
        if (h == 'x') {
            p.note(row, hatChannel, closedHat, 143);
        } else if (h == 'c') {
            p.note(row, hatChannel, closedHat, 143, setVolume, 34);
        } else if (h == 'g') {
            p.note(row, hatChannel, closedHat, 143, setVolume, 20);
        } else if (h == 'o') {
            p.note(row, hatChannel, openHat, 143);
        } else if (h == 'C') {
            p.note(row, hatChannel, crash, 214);
        }
    }
}

void drums(PatternWriter& p, const std::string& kicks, const std::string& snares, const std::string& hats,
           int bars = 4)
{
    for (int bar = 0; bar < bars; ++bar) {
        drumBar(p, bar, kicks, snares, hats);
    }
}

// The bass note of a chord's root, between G1 and F#2 as heard.
int bassRoot(const Chord& chord)
{
    return chord.root >= 7 ? 24 + chord.root : 36 + chord.root;
}

// Bass bars: R root, O octave, F fifth, lower case for a softer note, x to stop.
void bassBar(PatternWriter& p, int bar, const Chord& chord, const std::string& line)
{
    for (int i = 0; i < rowsPerBar && i < static_cast<int>(line.size()); ++i) {
        const int row = bar * rowsPerBar + i;
        const char c = line[static_cast<std::size_t>(i)];
        int pitch = -1;
        switch (c) {
        case 'R': case 'r': pitch = bassRoot(chord); break;
        case 'O': case 'o': pitch = bassRoot(chord) + 12; break;
        case 'F': case 'f': pitch = bassRoot(chord) + 7; break;
        case 'x': p.effect(row, bassChannel, 0xE, 0xC0); break;   // cut at once
        default: break;
        }
        if (pitch >= 0) {
            const bool soft = c >= 'a' && c <= 'z';
            p.note(row, bassChannel, bass, periodOf(bass, pitch), soft ? setVolume : 0, soft ? 38 : 0);
        }
    }
}

void bassLine(PatternWriter& p, const std::vector<Chord>& chords, const std::string& line)
{
    for (int bar = 0; bar < static_cast<int>(chords.size()); ++bar) {
        bassBar(p, bar, chords[static_cast<std::size_t>(bar)], line);
    }
}

// One pad chord a bar, at `volume`.
void pads(PatternWriter& p, const std::vector<Chord>& chords, int volume)
{
    for (int bar = 0; bar < static_cast<int>(chords.size()); ++bar) {
        const Chord& chord = chords[static_cast<std::size_t>(bar)];
        const int instrument = chord.minor ? padMinor : padMajor;
        const int pitch = chord.root <= 6 ? 48 + chord.root : 36 + chord.root;
        p.note(bar * rowsPerBar, padChannel, instrument, periodOf(instrument, pitch), setVolume, volume);
    }
}

// Plucked arpeggios: each digit picks a chord tone (0 root, 1 third, 2 fifth, 3 to 5 the
// same an octave up), from a root between G3 and F#4; tones too high drop an octave.
void arpeggio(PatternWriter& p, const std::vector<Chord>& chords, const std::string& figure, int volume)
{
    for (int bar = 0; bar < static_cast<int>(chords.size()); ++bar) {
        const Chord& chord = chords[static_cast<std::size_t>(bar)];
        const int root = chord.root >= 7 ? 48 + chord.root : 60 + chord.root;
        const int tones[6] = {0, chord.minor ? 3 : 4, 7, 12, chord.minor ? 15 : 16, 19};
        for (int i = 0; i < rowsPerBar && i < static_cast<int>(figure.size()); ++i) {
            const char c = figure[static_cast<std::size_t>(i)];
            if (c < '0' || c > '5') {
                continue;
            }
            int pitch = root + tones[c - '0'];
            if (pitch > 83) {
                pitch -= 12;
            }
            p.note(bar * rowsPerBar + i, arpChannel, pluck, periodOf(pluck, pitch), setVolume, volume);
        }
    }
}

// Chip chords: a pulse struck at `a`, held as an arpeggio of its chord through `-`,
// silenced at `x`.
void chipChords(PatternWriter& p, const std::vector<Chord>& chords, const std::string& rhythm)
{
    for (int bar = 0; bar < static_cast<int>(chords.size()); ++bar) {
        const Chord& chord = chords[static_cast<std::size_t>(bar)];
        const int root = 60 + chord.root;
        const int arp = chord.minor ? 0x37 : 0x47;
        for (int i = 0; i < rowsPerBar && i < static_cast<int>(rhythm.size()); ++i) {
            const int row = bar * rowsPerBar + i;
            switch (rhythm[static_cast<std::size_t>(i)]) {
            case 'a': p.note(row, arpChannel, chip, periodOf(chip, root), 0x0, arp); break;
            case '-': p.effect(row, arpChannel, 0x0, arp); break;
            case 'x': p.effect(row, arpChannel, 0xE, 0xC0); break;
            default: break;
            }
        }
    }
}

// Writes a melody into `channel` with the lead's sound: long notes get a vibrato that
// sets in after their attack, glides use tone portamento, rests fade the note out fast.
// With `harmony` chords given, it plays the harmony under the line instead.
void melody(PatternWriter& p, int channel, const std::vector<MelodyNote>& notes, int volume,
            const std::vector<Chord>* harmony = nullptr)
{
    bool sounding = false;   // a held note continues one that this line struck
    for (const MelodyNote& n : notes) {
        const int end = n.row + n.length;
        if (n.kind == MelodyNote::rest) {
            p.effect(n.row, channel, 0xA, 0x0C);
            sounding = false;
            continue;
        }
        if (n.kind == MelodyNote::hold) {
            for (int row = n.row; sounding && row < end; ++row) {
                p.effect(row, channel, 0x4, 0x62);
            }
            continue;
        }
        const int heard = n.pitch + keyShift;
        const int period = periodOf(
            lead, harmony ? harmonyBelow(heard, (*harmony)[static_cast<std::size_t>(n.row / rowsPerBar)]) : heard);
        if (n.glide) {
            // No sample number: the glide keeps the volume of the note it leaves.
            p.note(n.row, channel, 0, period, 0x3, 0x06);
            for (int row = n.row + 1; row < end && row < n.row + 3; ++row) {
                p.effect(row, channel, 0x3, 0x00);
            }
        } else {
            p.note(n.row, channel, lead, period, volume ? setVolume : 0, volume);
        }
        // Vibrato from the third row of a long note on, deeper as it is held.
        for (int row = n.row + 2; n.length >= 6 && row < end; ++row) {
            if (p.at(row, channel).effect == 0) {
                p.effect(row, channel, 0x4, row - n.row >= 6 ? 0x62 : 0x51);
            }
        }
        sounding = true;
    }
}

// A pattern of the song: its chords, its lead line and what the band plays under it.
struct Section {
    int rows;
    const char* chords;
    const char* lead;
    bool harmony;                    // the echo channel plays a harmony under the lead
    void (*band)(PatternWriter&, const std::vector<Chord>&);
};

void introSwell(PatternWriter& p, const std::vector<Chord>& chords)
{
    // The pad swells in from silence by fine volume slides while drops of the pluck fall.
    pads(p, chords, 32);
    p.effect(0, padChannel, setVolume, 0);
    for (int row = 1; row < rowsPerBar; ++row) {
        p.effect(row, padChannel, 0xE, 0xA2);
    }
    arpeggio(p, chords, "5..4..2...3..2..", 22);
    drumBar(p, 1, "", "", "........g.g.c.cx");
}

void introGroove(PatternWriter& p, const std::vector<Chord>& chords)
{
    pads(p, chords, 36);
    arpeggio(p, chords, "0.2.3.4.3.2.3.2.", 24);
    drumBar(p, 0, "m...m...m...m...", "", "");
    drumBar(p, 1, "m...m...m...m...", "", "..c...c...c...c.");
    drumBar(p, 2, "x...x...x...x...", "", "..x...x...x...x.");
    drumBar(p, 3, "x...x...x...x.x.", "1...2...3.4.5678", "x.x.x.x.x.x.xxxx");
    bassBar(p, 0, chords[0], "R...............");
    bassBar(p, 1, chords[1], "R...............");
    bassBar(p, 2, chords[2], "R.......R.......");
    bassBar(p, 3, chords[3], "R.R.R.R.R.R.R.O.");
}

void verse(PatternWriter& p, const std::vector<Chord>& chords)
{
    pads(p, chords, 32);
    arpeggio(p, chords, "0.2.3.2.4.2.3.2.", 20);
    drumBar(p, 0, "x.......x.x.....", "....x.......x...", "C.x.c.x.c.x.c.x.");
    drumBar(p, 1, "x.......x.x.....", "....x.......x..g", "c.x.c.x.c.x.c.o.");
    drumBar(p, 2, "x.......x.x.....", "....x.......x...", "c.x.c.x.c.x.c.x.");
    drumBar(p, 3, "x.......x.x...x.", "....x.......x.gg", "c.x.c.x.c.x.c.o.");
    bassLine(p, chords, "R..R..R.R..r..O.");
}

void bridgeToChorus(PatternWriter& p, const std::vector<Chord>& chords, bool build)
{
    pads(p, chords, 28);
    chipChords(p, chords, "a-x.a-x.a-x.a-x.");
    drums(p, "x.......x.......", "....x.......x...", "xgcgxgcgxgcgxgcg", 3);
    drumBar(p, 3, build ? "x...x...x...x.x." : "x.......x.......",
            build ? "3...4...5.5.6789" : "....x.......x..g", build ? "xgcgxgcgxgxgxxxx" : "xgcgxgcgxgcgxgo.");
    bassLine(p, chords, "R...R.R...R.R.O.");
}

void breakFirst(PatternWriter& p, const std::vector<Chord>& chords)
{
    bridgeToChorus(p, chords, false);
}

void breakSecond(PatternWriter& p, const std::vector<Chord>& chords)
{
    bridgeToChorus(p, chords, true);
}

void chorusBand(PatternWriter& p, const std::vector<Chord>& chords, const std::string& lastSnare,
                const std::string& lastHats)
{
    pads(p, chords, 38);
    arpeggio(p, chords, "0234324302343243", 18);
    drumBar(p, 0, "x...x...x...x...", "....x.......x...", "C.o.c.o.c.o.c.o.");
    drumBar(p, 1, "x...x...x...x...", "....x.......x...", "c.o.c.o.c.o.c.o.");
    drumBar(p, 2, "x...x...x...x...", "....x.......x...", "c.o.c.o.c.o.c.o.");
    drumBar(p, 3, "x...x...x...x...", lastSnare, lastHats);
    bassLine(p, chords, "R.O.R.O.R.O.R.O.");
}

void chorusFirst(PatternWriter& p, const std::vector<Chord>& chords)
{
    chorusBand(p, chords, "....x.......x..g", "c.o.c.o.c.o.c.o.");
}

void chorusSecond(PatternWriter& p, const std::vector<Chord>& chords)
{
    chorusBand(p, chords, "....x...t.t.u.vv", "c.o.c.o.c.......");
}

void bridge(PatternWriter& p, const std::vector<Chord>& chords)
{
    // Half time: the backbeat only on the third beat, long bass notes, then a roll.
    pads(p, chords, 40);
    arpeggio(p, chords, "0...2...3...4...", 22);
    drums(p, "x.........x.....", "........x.......", "x.c.x.c.x.c.x.c.", 3);
    drumBar(p, 3, "x.......x...x.x.", "1.2.3.4.5656rrrr", "x.c.x.c.xxxxxxxx");
    bassLine(p, chords, "R.........R.....");
}

void turnaround(PatternWriter& p, const std::vector<Chord>& chords)
{
    pads(p, chords, 32);
    arpeggio(p, chords, "0.2.3.2.4.2.3.2.", 20);
    drumBar(p, 0, "x.......x.x.....", "....x.......x...", "C.x.c.x.c.x.c.x.");
    drumBar(p, 1, "x.......x.x.....", "....x.......x...", "c.x.c.x.c.x.c.o.");
    drumBar(p, 2, "x.......x.x.....", "....x.......x...", "c.x.c.x.c.x.c.x.");
    drumBar(p, 3, "x.......x.......", "....x...t.t.u.vv", "c.x.c.x.........");
    bassLine(p, chords, "R..R..R.R..r..O.");
}

// The song, in order. The first section is two bars long and ends on a pattern break.
const Section song[] = {
    {32, "F G", "-/32", false, introSwell},
    {64, "F G Am G", "-/56 G4/2 A4/2 B4/2 D5/2", false, introGroove},
    // Verse: a dotted theme, answered a step higher.
    {64, "C G Am F",
     "E5/3 D5/3 C5/2 G5/4 E5/4  D5/3 C5/3 B4/2 D5/4 G5/4  E5/3 D5/3 C5/2 E5/4 A5/4  A5/6 G5/2 F5/4 E5/2 D5/2",
     false, verse},
    {64, "C G F G",
     "E5/3 D5/3 C5/2 G5/4 C6/4  B5/6 A5/2 G5/4 D5/4  C6/3 A5/3 F5/2 A5/4 G5/2 F5/2  G5/10 r/2 A5/2 B5/2",
     false, verse},
    // Break: the lead calls, the chip chords answer.
    {64, "Am F C G",
     "C6/2 B5/2 A5/4 E5/8  F5/2 G5/2 A5/4 C5/8  E5/2 F5/2 G5/4 C6/8  D6/4 B5/4 G5/8", false, breakFirst},
    {64, "Am F Dm G",
     "C6/2 B5/2 A5/4 E5/8  F5/2 G5/2 A5/4 C6/8  D6/4 C6/2 A5/2 F5/4 A5/4  B5/6 A5/2 G5/4 r/4", false,
     breakSecond},
    // Chorus: one rising figure, sequenced up a step.
    {64, "F G Em Am",
     "F5/2 G5/2 A5/4 C6/4 A5/4  G5/2 A5/2 B5/4 D6/4 B5/4  G5/2 A5/2 B5/6 G5/2 E5/4  A5/12 G5/2 E5/2", false,
     chorusFirst},
    {64, "F G C C",
     "F5/2 G5/2 A5/4 C6/4 A5/4  G5/2 A5/2 B5/4 D6/4 B5/4  E5/2 G5/2 C6/12  -/8 r/4 B4/2 C5/2", false,
     chorusSecond},
    // Bridge: triads climbing bar by bar.
    {64, "Dm Em F G", "D5/4 F5/4 A5/8  E5/4 G5/4 B5/8  F5/4 A5/4 C6/8  G5/4 B5/4 ~D6/8", false, bridge},
    {64, "F G Em Am",
     "F5/2 G5/2 A5/4 C6/4 A5/4  G5/2 A5/2 B5/4 D6/4 B5/4  G5/2 A5/2 B5/6 G5/2 E5/4  A5/12 G5/2 E5/2", true,
     chorusFirst},
    {64, "F G C C",
     "F5/2 G5/2 A5/4 C6/4 A5/4  G5/2 A5/2 B5/4 D6/4 B5/4  E5/2 G5/2 C6/12  -/8 r/4 C5/2 D5/2", true,
     chorusSecond},
    // Turnaround back to the verse, ending on the same pick-up as the intro.
    {64, "Am F G G",
     "E5/3 D5/3 C5/2 E5/4 A5/4  A5/6 G5/2 F5/4 C5/4  D5/3 B4/3 G4/2 B4/4 D5/4  -/8 G4/2 A4/2 B4/2 D5/2", false,
     turnaround},
};
constexpr int sectionCount = static_cast<int>(sizeof(song) / sizeof(song[0]));
constexpr int loopSection = 2;
constexpr int leadVolume = 0;     // the lead plays at its sample's volume
constexpr int echoVolume = 17;
constexpr int harmonyVolume = 26;
constexpr int echoDelay = 3;      // rows: a dotted eighth

// The lead's echo: every cell of the lead, three rows later and quieter, following the
// song's order and its loop, so that the echo of the last bars sounds over the first
// bars of the verse.
void writeEcho(ModSong& module)
{
    struct Place {
        int pattern;
        int row;
    };
    std::vector<Place> played;
    for (int s = 0; s < sectionCount; ++s) {
        for (int row = 0; row < song[s].rows; ++row) {
            played.push_back({s, row});
        }
    }
    int loopStart = 0;
    for (int s = 0; s < loopSection; ++s) {
        loopStart += song[s].rows;
    }
    const int total = static_cast<int>(played.size());
    std::vector<bool> written(static_cast<std::size_t>(total), false);
    for (int i = 0; i < total; ++i) {
        int target = i + echoDelay;
        if (target >= total) {
            target = loopStart + (target - total);
        }
        const Place from = played[static_cast<std::size_t>(i)];
        const Place to = played[static_cast<std::size_t>(target)];
        if (song[to.pattern].harmony) {
            continue;
        }
        PatternWriter source(module, from.pattern);
        PatternWriter dest(module, to.pattern);
        ModCell echo = source.at(from.row, leadChannel);
        if (echo.sample != 0 && echo.effect == 0) {
            echo.effect = setVolume;
            echo.parameter = echoVolume;
        } else if (echo.sample != 0 && echo.effect == setVolume) {
            echo.parameter = static_cast<std::uint8_t>(echo.parameter * echoVolume / 46);
        }
        ModCell& cell = dest.at(to.row, echoChannel);
        // Two paths into the verse (from the intro and from the loop) must agree.
        if (written[static_cast<std::size_t>(target)] &&
            (cell.period != echo.period || cell.sample != echo.sample || cell.effect != echo.effect ||
             cell.parameter != echo.parameter)) {
            throw std::runtime_error("the echo into the verse differs between the intro and the loop");
        }
        cell = echo;
        written[static_cast<std::size_t>(target)] = true;
    }
}

ModSong compose()
{
    ModSong module = makeEmptySong(channelCount, sectionCount);
    module.title = "Thousand";
    module.samples = makeSamples();
    module.restartPosition = loopSection;

    for (int s = 0; s < sectionCount; ++s) {
        const Section& section = song[s];
        PatternWriter p(module, s);
        const std::vector<Chord> chords = parseChords(section.chords, keyShift);
        if (static_cast<int>(chords.size()) * rowsPerBar != section.rows) {
            throw std::runtime_error("section " + std::to_string(s) + " has the wrong number of chords");
        }
        section.band(p, chords);
        const std::vector<MelodyNote> line = parseMelody(section.lead, section.rows);
        melody(p, leadChannel, line, leadVolume);
        if (section.harmony) {
            melody(p, echoChannel, line, harmonyVolume, &chords);
        }
    }
    writeEcho(module);

    PatternWriter first(module, 0);
    first.global(0, 0xF, speed);
    first.global(0, 0xF, tempo);
    PatternWriter intro(module, 0);
    intro.global(song[0].rows - 1, 0xD, 0x00);
    PatternWriter last(module, sectionCount - 1);
    last.global(song[sectionCount - 1].rows - 1, 0xB, loopSection);
    return module;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_music OUTPUT.mod\n");
        return 2;
    }
    try {
        const std::vector<std::uint8_t> bytes = writeMod(compose());
        std::string error;
        if (!writeOutputFile(argv[1], bytes, error)) {
            std::fprintf(stderr, "make_music: cannot write %s: %s\n", argv[1], error.c_str());
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_music: %s\n", e.what());
        return 1;
    }
    return 0;
}
