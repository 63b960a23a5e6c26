#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A tracker module as the replayer reads it, whichever of the four formats it came
// from: the order list, the patterns, the samples and (for XM and IT) the instruments.
// Every loader checks the file and copies what it needs out of it, so nothing here
// refers back to the file's bytes.
//
// Values are kept in the units the replayer works in, not the file's: notes count
// semitones from C-0, panning runs 0 to 256, sample data is 16-bit. What the formats
// do differently with the same value (how a slide's parameter is read, what a period
// is) is the replayer's business, in each format's own rules.

enum class ModuleFormat {
    Mod,   // ProTracker and its relatives: 4 to 32 channels, 15 or 31 samples
    S3m,   // Scream Tracker 3
    Xm,    // FastTracker 2
    It,    // Impulse Tracker
};

// Note numbers of a cell. 1 is C-0 and 120 is B-9; C-5 (61) plays a sample at its
// base rate (`Sample::c5Speed`, or 8,363 Hz moved by XM's relative note and
// finetune). S3M's C-4 and XM's C-4 are our C-5, as Impulse Tracker shows them.
constexpr std::uint8_t noteNone = 0;
constexpr std::uint8_t noteFirst = 1;
constexpr std::uint8_t noteLast = 120;
constexpr std::uint8_t noteMiddleC = 61;
constexpr std::uint8_t noteFade = 253;   // IT: the note fades out as after a key-off with no envelope
constexpr std::uint8_t noteCut = 254;    // S3M and IT: the note stops at once
constexpr std::uint8_t noteOff = 255;    // XM and IT: key-off, releasing sustain and fading

inline bool isPlayableNote(int note)
{
    return note >= noteFirst && note <= noteLast;
}

// The command of a cell's effect column, by the tracker letter or digit that the
// formats write it with. The four formats fall into two families: MOD and XM number
// their commands (0 to F, then XM's letters), S3M and IT letter theirs (A to Z). The
// parameter stays as the file gives it: how it is read (decimal rows, fine slides in
// a nibble, a parameter of 0 meaning "as before") is each format's rule.
enum class Effect : std::uint8_t {
    None,
    // MOD and XM: 0xy to Fxy, then XM's Gxx to Xxx.
    Arpeggio,                 // 0xy
    PortamentoUp,             // 1xx
    PortamentoDown,           // 2xx
    TonePortamento,           // 3xx
    Vibrato,                  // 4xy
    TonePortamentoVolume,     // 5xy
    VibratoVolume,            // 6xy
    Tremolo,                  // 7xy
    Panning,                  // 8xx
    SampleOffset,             // 9xx
    VolumeSlide,              // Axy
    PositionJump,             // Bxx
    SetVolume,                // Cxx
    PatternBreak,             // Dxx, rows in decimal digits
    Extended,                 // Exy: x picks the command, ProTracker's numbering
    SpeedTempo,               // Fxx: speed below 0x20, tempo from there on
    GlobalVolume,             // XM Gxx
    GlobalVolumeSlide,        // XM Hxy
    KeyOff,                   // XM Kxx: key-off on tick xx
    EnvelopePosition,         // XM Lxx
    PanningSlide,             // XM Pxy
    Retrigger,                // XM Rxy
    Tremor,                   // XM Txy
    ExtraFinePortamento,      // XM X1x (up) and X2x (down): parameter as stored, 0xXY
    // S3M and IT: Axx to Zxx.
    SetSpeed,                 // Axx
    JumpToOrder,              // Bxx
    BreakToRow,               // Cxx: S3M in decimal digits, IT in hex
    VolumeSlideS3m,           // Dxy, with fine slides as DxF and DFy
    PortamentoDownS3m,        // Exx, with fine (Fx) and extra fine (Ex) forms
    PortamentoUpS3m,          // Fxx
    TonePortamentoS3m,        // Gxx
    VibratoS3m,               // Hxy
    TremorS3m,                // Ixy
    ArpeggioS3m,              // Jxy
    VibratoVolumeS3m,         // Kxy: H00 and Dxy
    TonePortamentoVolumeS3m,  // Lxy: G00 and Dxy
    ChannelVolume,            // IT Mxx
    ChannelVolumeSlide,       // IT Nxy
    SampleOffsetS3m,          // Oxx
    PanningSlideS3m,          // IT Pxy
    RetriggerS3m,             // Qxy
    TremoloS3m,               // Rxy
    Special,                  // Sxy: x picks the command, Scream Tracker's numbering
    SetTempo,                 // Txx; IT: T0x and T1x slide the tempo
    FineVibrato,              // Uxy
    GlobalVolumeS3m,          // Vxx
    GlobalVolumeSlideS3m,     // IT Wxy
    SetPanning,               // Xxx, 0 to 255
    Panbrello,                // IT Yxy
    MidiMacro,                // IT Zxx: with the default macros, the resonant filter
};

// The effect that S3M's and IT's command number `command` stands for (1 for A to 26 for
// Z, in the order the enum lists them), or None for any other number.
constexpr Effect letterEffect(unsigned command)
{
    constexpr unsigned letters = static_cast<unsigned>(Effect::MidiMacro) - static_cast<unsigned>(Effect::SetSpeed) + 1;
    static_assert(letters == 26, "the letter commands stand in the enum from A to Z");
    return command >= 1 && command <= letters
               ? static_cast<Effect>(static_cast<unsigned>(Effect::SetSpeed) + command - 1)
               : Effect::None;
}

// The volume column of XM and IT (S3M's holds a volume only, MOD has none).
enum class VolumeCommand : std::uint8_t {
    None,
    Volume,               // 0 to 64
    VolumeSlideUp,        // by the value on each tick after the first
    VolumeSlideDown,
    FineVolumeUp,         // by the value on the first tick
    FineVolumeDown,
    VibratoSpeed,         // XM: sets the vibrato's speed, 0 to 15
    VibratoDepth,         // XM and IT: vibrato with this depth, 0 to 15
    Panning,              // 0 to 64 (IT) or 0 to 15 (XM): see each format's rules
    PanningSlideLeft,     // XM
    PanningSlideRight,    // XM
    TonePortamento,       // XM: the value times 16; IT: an index 0 to 9 into its speed table
    PortamentoDown,       // IT: the value times 4, as Exx
    PortamentoUp,         // IT: the value times 4, as Fxx
};

// One cell of a pattern.
struct Cell {
    std::uint8_t note = noteNone;         // see the note constants above
    std::uint8_t instrument = 0;          // 1-based; an instrument in XM and IT's instrument
                                          // mode, a sample otherwise; 0 for none
    VolumeCommand volumeCommand = VolumeCommand::None;
    std::uint8_t volumeValue = 0;
    Effect effect = Effect::None;
    std::uint8_t parameter = 0;
    std::uint16_t period = 0;             // MOD only: the Amiga period the file gives, 0 for
                                          // none; `note` holds the nearest note for display
};

struct Pattern {
    int rows = 64;                        // 1 to 256 (XM), 1 to 200 (IT), 64 (MOD and S3M)
    std::vector<Cell> cells;              // row by row, `Module::channels` cells each

    const Cell& cell(int row, int channel, int channels) const
    {
        return cells[static_cast<std::size_t>(row) * static_cast<std::size_t>(channels) +
                     static_cast<std::size_t>(channel)];
    }
    Cell& cell(int row, int channel, int channels)
    {
        return cells[static_cast<std::size_t>(row) * static_cast<std::size_t>(channels) +
                     static_cast<std::size_t>(channel)];
    }
};

enum class LoopMode : std::uint8_t {
    None,
    Forward,     // back to the loop's start at its end
    PingPong,    // backwards at the end, forwards again at the start
};

// A vibrato the sample applies by itself on every tick (XM's instrument vibrato, IT's
// sample vibrato).
struct AutoVibrato {
    int waveform = 0;    // 0 sine, 1 square, 2 ramp down, 3 ramp up, 4 random (XM: 1 is
                         // square and 2 and 3 the ramps, as IT numbers them after loading)
    int speed = 0;       // how far the wave moves per tick, 0 to 64 (IT) or 0 to 255 (XM)
    int depth = 0;       // 0 to 64 (IT) or 0 to 15 (XM)
    int sweep = 0;       // XM: ticks to reach full depth; IT: the rate, depth added per tick
};

struct Sample {
    std::string name;
    // Frames of 16-bit signed PCM, interleaved left and right for a stereo sample. An
    // 8-bit sample is kept at 256 times its values, so the two play alike.
    std::vector<std::int16_t> data;
    int channels = 1;                     // 1, or 2 for a stereo sample
    bool sixteenBit = false;              // as the file stores it

    LoopMode loop = LoopMode::None;
    std::uint32_t loopStart = 0;          // in frames; loopStart < loopEnd <= frames()
    std::uint32_t loopEnd = 0;            // when the loop is on
    LoopMode sustainLoop = LoopMode::None;   // IT: loops until the key is released
    std::uint32_t sustainStart = 0;
    std::uint32_t sustainEnd = 0;

    int volume = 64;                      // default volume, 0 to 64
    int globalVolume = 64;                // IT's sample global volume, 0 to 64
    int panning = -1;                     // default panning 0 to 256; -1 when the sample sets none
    std::uint32_t c5Speed = 8363;         // Hz that C-5 plays at (S3M and IT)
    int relativeNote = 0;                 // XM: semitones added to each note
    int finetune = 0;                     // XM and MOD: in 1/128 of a semitone, -128 to 127
                                          // (MOD's -8 to 7 are kept as 16 times that)
    AutoVibrato vibrato;

    std::uint32_t frames() const
    {
        return static_cast<std::uint32_t>(data.size() / static_cast<std::size_t>(channels));
    }
};

// A curve over ticks: volume 0 to 64, panning -32 (left) to 32 (right), pitch -32 to 32
// in half-semitones (IT) or, for a filter envelope, -32 (closed) to 32.
struct Envelope {
    struct Point {
        std::uint16_t tick = 0;           // strictly increasing from the first point's 0
        std::int8_t value = 0;
    };
    std::vector<Point> points;            // at most 25; empty or enabled == false: no envelope
    bool enabled = false;
    bool loop = false;
    bool sustain = false;
    bool carry = false;                   // IT: a new note goes on from the old note's position
    bool filter = false;                  // IT: the pitch envelope drives the filter instead
    std::uint8_t loopStart = 0;           // point indices, start <= end < points.size()
    std::uint8_t loopEnd = 0;
    std::uint8_t sustainStart = 0;
    std::uint8_t sustainEnd = 0;          // XM has one sustain point: start == end
};

// What happens to a playing note when a new one starts in its channel (IT).
enum class NewNoteAction : std::uint8_t { Cut, Continue, NoteOff, NoteFade };
// Which playing notes of the channel the new one checks against (IT).
enum class DuplicateCheck : std::uint8_t { Off, Note, Sample, Instrument };
// What a duplicate found does (IT).
enum class DuplicateAction : std::uint8_t { Cut, NoteOff, NoteFade };

struct Instrument {
    std::string name;
    // For each note, the note that plays and the 1-based sample that plays it (0: none).
    struct Key {
        std::uint8_t note = 0;
        std::uint16_t sample = 0;
    };
    std::array<Key, noteLast> keys = {};  // keys[note - 1]

    Envelope volumeEnvelope;
    Envelope panningEnvelope;
    Envelope pitchEnvelope;               // IT only
    // How far the fade volume, which starts at 65,536, falls on each tick once the key
    // is released (XM, or an IT envelope's end) or a fade is asked for; 0: no fade.
    int fadeout = 0;

    NewNoteAction newNoteAction = NewNoteAction::Cut;
    DuplicateCheck duplicateCheck = DuplicateCheck::Off;
    DuplicateAction duplicateAction = DuplicateAction::Cut;
    int globalVolume = 128;               // IT, 0 to 128
    int panning = -1;                     // IT's default panning, 0 to 256; -1 for none
    int pitchPanSeparation = 0;           // IT: -32 to 32
    int pitchPanCentre = noteMiddleC;     // IT: a note number
    int randomVolume = 0;                 // IT: percent, 0 to 100
    int randomPanning = 0;                // IT: 0 to 64
    int filterCutoff = -1;                // IT: 0 to 127; -1 when the instrument sets none
    int filterResonance = -1;             // IT: 0 to 127; -1 when the instrument sets none
};

// How a channel starts the song.
struct ChannelSettings {
    int panning = 128;                    // 0 to 256
    int volume = 64;                      // IT's channel volume, 0 to 64
    bool surround = false;                // IT: played with the right side inverted
    bool muted = false;                   // S3M and IT: switched off in the file
};

// Order list entries that are not pattern numbers (S3M and IT).
constexpr std::uint16_t orderSkip = 0xFFFE;   // "+++": go on to the next entry
constexpr std::uint16_t orderEnd = 0xFFFF;    // "---": the song ends here

struct Module {
    ModuleFormat format = ModuleFormat::Mod;
    std::string title;
    int channels = 0;                     // the patterns' width, 1 to 64
    std::vector<std::uint16_t> orders;    // pattern numbers, orderSkip or orderEnd; at least one
    int restartPosition = 0;              // where the song goes on after its end
    std::vector<Pattern> patterns;        // an order past these plays nothing and is passed over
    std::vector<Sample> samples;          // sample n is samples[n - 1]
    std::vector<Instrument> instruments;  // empty when the cells name samples
    std::vector<ChannelSettings> channelSettings;   // one per channel

    int initialSpeed = 6;                 // ticks per row
    int initialTempo = 125;               // a tick lasts 2.5 / tempo seconds
    int initialGlobalVolume = 128;        // 0 to 128 (S3M and XM's 0 to 64 doubled)
    int mixingVolume = 128;               // S3M's master volume and IT's mixing volume, 0 to 128

    bool linearSlides = false;            // XM and IT: pitch moves in linear steps, not periods
    bool oldEffects = false;              // IT's "old effects" flag
    bool compatibleGxx = false;           // IT's "compatible Gxx" flag
    bool amigaLimits = false;             // S3M: periods kept within the Amiga's three octaves
    bool fastVolumeSlides = false;        // S3M: volume slides on the row's first tick too
    bool stereo = true;                   // S3M and IT: false plays everything in the centre
    std::uint16_t createdWith = 0;        // the tracker and version the file names (S3M's
                                          // and IT's 16-bit word; 0x3xxx in an S3M file is
                                          // Impulse Tracker, which plays it by its own pitch)
    std::uint16_t compatibleWith = 0;     // IT: the oldest version the file says it plays in
    std::string tracker;                  // XM: the tracker the file names ("FastTracker v2.00")

    const Cell& cell(int pattern, int row, int channel) const
    {
        return patterns[static_cast<std::size_t>(pattern)].cell(row, channel, channels);
    }
    Cell& cell(int pattern, int row, int channel)
    {
        return patterns[static_cast<std::size_t>(pattern)].cell(row, channel, channels);
    }
};

enum class LoadResult {
    Loaded,
    HeaderCutShort,       // the file ends inside its header or order list
    UnknownFormat,        // not a module of a format we know
    BadSongLength,        // no orders, or more than the format allows
    BadHeader,            // a count or value of the header is out of its range
    PatternsCutShort,     // the file ends inside its patterns
    BadPattern,           // a pattern's packed data runs past its end or its rows
    InstrumentsCutShort,  // an instrument or sample header lies outside the file
    SamplesCutShort,      // sample data lies outside the file
    BadSample,            // a compressed sample's data is damaged
    TooLarge,             // more memory than a module may take
};

const char* describe(LoadResult result);

// What a module may hold, checked before anything is allocated: a header that claims
// more is refused with TooLarge.
constexpr std::size_t maxSampleBytes = std::size_t{256} << 20;    // all samples' data, as 16-bit
constexpr std::size_t maxPatternCells = std::size_t{16} << 20;    // all patterns' cells

// Reads a module in any of the four formats from size bytes at data, never past them;
// the format is told by the content, not by a name. On success `module` holds the
// whole song; otherwise it is left empty.
LoadResult loadModule(const std::uint8_t* data, std::size_t size, Module& module);

// Each format's own loader, for callers that know which they hold. Each refuses a file
// of another format with UnknownFormat.
LoadResult loadMod(const std::uint8_t* data, std::size_t size, Module& module);
LoadResult loadS3m(const std::uint8_t* data, std::size_t size, Module& module);
LoadResult loadXm(const std::uint8_t* data, std::size_t size, Module& module);
LoadResult loadIt(const std::uint8_t* data, std::size_t size, Module& module);
