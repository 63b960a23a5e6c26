#include "sound/mod_player.h"

#include <algorithm>
#include <array>

namespace {

constexpr int notesPerFinetune = 36;
constexpr int finetunes = 16;
constexpr int highestNote = 113;     // the shortest period slides may reach (B-3)
constexpr int lowestNote = 856;      // the longest (C-1)

// ProTracker's periods of C-1 to B-3, one row per finetune in the order the nibble
// stores them: 0 to +7, then -8 to -1, each step an eighth of a semitone. Each row has a
// 37th entry, 0, which effects that run past B-3 can reach.
constexpr int rowLength = notesPerFinetune + 1;
constexpr int periodTable[finetunes][rowLength] = {
    {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
     428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
     214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113},   // 0
    {850, 802, 757, 715, 674, 637, 601, 567, 535, 505, 477, 450,
     425, 401, 379, 358, 337, 319, 301, 284, 268, 253, 239, 225,
     213, 201, 189, 179, 169, 159, 150, 142, 134, 126, 119, 113},   // +1
    {844, 796, 752, 709, 670, 632, 597, 563, 532, 502, 474, 447,
     422, 398, 376, 355, 335, 316, 299, 282, 266, 251, 237, 224,
     211, 199, 188, 177, 168, 158, 149, 141, 133, 126, 119, 113},   // +2
    {838, 791, 746, 704, 665, 628, 592, 559, 528, 498, 470, 444,
     419, 396, 373, 352, 333, 314, 296, 280, 264, 249, 235, 222,
     210, 198, 187, 176, 166, 157, 148, 140, 132, 125, 118, 113},   // +3
    {832, 785, 741, 699, 660, 623, 588, 555, 524, 495, 467, 441,
     416, 393, 371, 350, 330, 312, 294, 278, 262, 248, 234, 221,
     208, 196, 185, 175, 165, 156, 147, 139, 131, 124, 117, 113},   // +4
    {826, 779, 736, 694, 655, 619, 584, 551, 520, 491, 463, 437,
     413, 390, 368, 347, 328, 310, 292, 276, 260, 246, 232, 219,
     207, 195, 184, 174, 164, 155, 146, 138, 130, 123, 116, 113},   // +5
    {820, 774, 730, 689, 651, 614, 580, 547, 516, 487, 460, 434,
     410, 387, 365, 345, 326, 307, 290, 274, 258, 244, 230, 217,
     205, 194, 183, 172, 163, 154, 145, 137, 129, 122, 115, 113},   // +6
    {814, 768, 725, 684, 646, 610, 575, 543, 513, 484, 457, 431,
     407, 384, 363, 342, 323, 305, 288, 272, 257, 242, 229, 216,
     204, 192, 181, 171, 162, 153, 144, 136, 128, 121, 114, 113},   // +7
    {907, 856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480,
     454, 428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240,
     227, 214, 202, 191, 180, 170, 160, 151, 143, 135, 127, 120},   // -8
    {900, 850, 802, 757, 715, 675, 636, 601, 567, 535, 505, 477,
     450, 425, 401, 379, 358, 338, 318, 301, 284, 268, 253, 239,
     225, 213, 201, 189, 179, 169, 159, 150, 142, 134, 126, 119},   // -7
    {894, 844, 796, 752, 709, 670, 632, 597, 563, 532, 502, 474,
     447, 422, 398, 376, 355, 335, 316, 299, 282, 266, 251, 237,
     224, 211, 199, 188, 177, 168, 158, 149, 141, 133, 126, 119},   // -6
    {887, 838, 791, 746, 704, 665, 628, 592, 559, 528, 498, 470,
     444, 419, 396, 373, 352, 333, 314, 296, 280, 264, 249, 235,
     222, 210, 198, 187, 176, 166, 157, 148, 140, 132, 125, 118},   // -5
    {881, 832, 785, 741, 699, 660, 623, 588, 555, 524, 494, 467,
     441, 416, 393, 371, 350, 330, 312, 294, 278, 262, 247, 234,
     220, 208, 196, 185, 175, 165, 156, 147, 139, 131, 124, 117},   // -4
    {875, 826, 779, 736, 694, 655, 619, 584, 551, 520, 491, 463,
     437, 413, 390, 368, 347, 328, 310, 292, 276, 260, 246, 232,
     219, 207, 195, 184, 174, 164, 155, 146, 138, 130, 123, 116},   // -3
    {868, 820, 774, 730, 689, 651, 614, 580, 547, 516, 487, 460,
     434, 410, 387, 365, 345, 326, 307, 290, 274, 258, 244, 230,
     217, 205, 194, 183, 172, 163, 154, 145, 137, 129, 122, 115},   // -2
    {862, 814, 768, 725, 684, 646, 610, 575, 543, 513, 484, 457,
     431, 407, 384, 363, 342, 323, 305, 288, 272, 257, 242, 229,
     216, 204, 192, 181, 171, 162, 153, 144, 136, 128, 121, 114},   // -1,
};

int tablePeriod(int finetune, int note)
{
    return periodTable[finetune][note];
}

// The first note of a finetune's row whose period is not above `period`; B-3 when
// every one is.
int noteAtOrBelow(int finetune, int period)
{
    for (int note = 0; note < notesPerFinetune; ++note) {
        if (tablePeriod(finetune, note) <= period) {
            return note;
        }
    }
    return notesPerFinetune - 1;
}

// The table read as one run of rows, as ProTracker's arpeggio reads it: notes past the
// end of a row run on into the next finetune's row. 0 past the whole table.
int periodInRun(int finetune, int note)
{
    const int index = finetune * rowLength + note;
    if (index >= finetunes * rowLength) {
        return 0;
    }
    return tablePeriod(index / rowLength, index % rowLength);
}

// Half a sine wave, 0 to 255, as vibrato and tremolo use it.
constexpr std::array<int, 32> vibratoSine = {
    0,   24,  49,  74,  97,  120, 141, 161, 180, 197, 212, 224, 235, 244, 250, 253,
    255, 253, 250, 244, 235, 224, 212, 197, 180, 161, 141, 120, 97,  74,  49,  24,
};

// How fast the invert-loop effect walks through the loop, per EFx speed.
constexpr std::array<int, 16> invertSpeeds = {0, 5, 6, 7, 8, 10, 11, 13, 16, 19, 22, 26, 32, 43, 64, 128};

// The value of a vibrato or tremolo wave at a position 0 to 255. ProTracker's ramp
// takes its direction from the vibrato position even for tremolo, so it is passed in.
int waveValue(int waveform, int position, int rampPosition)
{
    const int index = position >> 2 & 0x1F;
    switch (waveform & 3) {
    case 0:
        return vibratoSine[static_cast<std::size_t>(index)];
    case 1:
        return rampPosition >= 128 ? 255 - index * 8 : index * 8;
    default:
        return 255;
    }
}

// Puts the nonzero nibbles of an effect's parameter into its remembered command.
int rememberNibbles(int command, int parameter)
{
    if (parameter & 0x0F) {
        command = (command & 0xF0) | (parameter & 0x0F);
    }
    if (parameter & 0xF0) {
        command = (command & 0x0F) | (parameter & 0xF0);
    }
    return command;
}

} // namespace

// One channel's state between ticks; lengths in words and offsets in bytes, as
// ProTracker keeps them for the sound chip.
struct ModPlayer::Channel {
    ModCell cell;                  // the row's cell, whose effect runs on every tick
    int sample = 0;                // the sample whose settings are loaded, 1 to 31; 0 none
    std::uint32_t start = 0;       // where a note starts: moved by sample offsets
    std::uint32_t length = 0;      // words played from start before the loop takes over
    std::uint32_t loopStart = 0;
    std::uint32_t loopLength = 1;  // words; one word is no loop
    int finetune = 0;              // 0 to 15, as the nibble stores it
    int volume = 0;
    int period = 0;                // the note's period, moved by slides
    int outputPeriod = 0;          // what the voice plays: with arpeggio or vibrato
    int outputVolume = 0;          // with tremolo
    int panning = 0;
    int wantedPeriod = 0;          // tone portamento's target; 0 when reached
    int portamentoSpeed = 0;
    bool portamentoDown = false;   // toward a longer period
    int vibratoCommand = 0;        // speed in the high nibble, depth in the low one
    int vibratoPosition = 0;       // 0 to 255; the upper half is the wave's negative half
    int tremoloCommand = 0;
    int tremoloPosition = 0;
    int waveControl = 0;           // vibrato waveform low, tremolo high; bit 2 of each: no reset
    int glissando = 0;             // glissando in the low nibble, invert-loop speed in the high one
    int offset = 0;                // the last sample offset given
    int loopRow = 0;               // pattern loop
    int loopCount = 0;
    int invertCounter = 0;
    std::uint32_t invertAt = 0;
    int playingSample = 0;         // the sample the last note started
};

ModPlayer::ModPlayer(const ModModule& module, ModPlayerOptions options)
    : module_(module),
      options_(options),
      samples_([&module] {
          SampleBank bank;
          for (const ModSample& sample : module.samples) {
              bank.push_back(sample.data);
          }
          return bank;
      }()),
      mixer_(module.channels, options.rate, options.interpolate, options.ramp, samples_),
      channels_(static_cast<std::size_t>(module.channels))
{
    // Amiga panning: left, right, right, left.
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        channels_[i].panning = (i % 4 == 0 || i % 4 == 3) ? 0 : 255;
    }
    // The first tick reads the first row.
    counter_ = speed_ - 1;
    order_ = -1;
    jumpOrder_ = 0;
    nextPosition();
    wrapped_ = false;
    row_ = 0;
}

ModPlayer::~ModPlayer() = default;

ModChannelTrace ModPlayer::channel(int index) const
{
    const Channel& channel = channels_[static_cast<std::size_t>(index)];
    ModChannelTrace trace;
    trace.sample = channel.sample;
    trace.period = channel.outputPeriod;
    trace.volume = channel.outputVolume;
    trace.panning = channel.panning;
    trace.position = mixer_.position(index);
    trace.active = mixer_.active(index);
    return trace;
}

std::size_t ModPlayer::framesOfTick()
{
    // A tick lasts 2.5 / tempo seconds; the remainder carries over so that no time is lost.
    const std::uint64_t numerator = static_cast<std::uint64_t>(options_.rate) * 5 + tickRemainder_;
    const std::uint64_t denominator = static_cast<std::uint64_t>(tempo_) * 2;
    tickRemainder_ = numerator % denominator;
    return static_cast<std::size_t>(numerator / denominator);
}

std::size_t ModPlayer::render(std::int16_t* out, std::size_t frames)
{
    std::size_t written = 0;
    while (written < frames) {
        if (tickFramesLeft_ == 0) {
            if (ended_) {
                break;
            }
            // The tick's length comes from the tempo before the tick runs: a tempo
            // change on a row takes effect from the row's second tick.
            const std::size_t length = framesOfTick();
            advanceTick();
            if (ended_) {
                break;
            }
            tickFramesLeft_ = length;
        }
        const std::size_t count = std::min(frames - written, tickFramesLeft_);
        mixer_.mix(out + 2 * written, count);
        written += count;
        tickFramesLeft_ -= count;
    }
    return written;
}

void ModPlayer::advanceTick()
{
    if (ended_) {
        return;
    }
    ++tick_;
    if (++counter_ >= speed_) {
        counter_ = 0;
        if (patternDelayLeft_ == 0) {
            playRow();
            if (ended_) {
                return;
            }
        } else {
            // A delayed row repeats its effects, and its fine ones too: on the first
            // tick of each repeat the counter is 0 again.
            for (std::size_t i = 0; i < channels_.size(); ++i) {
                tickEffects(static_cast<int>(i), channels_[i]);
            }
        }
        endRow();
    } else {
        for (std::size_t i = 0; i < channels_.size(); ++i) {
            tickEffects(static_cast<int>(i), channels_[i]);
        }
    }
    if (positionJump_) {
        nextPosition();
    }
    updateVoices();
}

void ModPlayer::playRow()
{
    if (wrapped_) {
        wrapped_ = false;
        ++passes_;
        if (!options_.loop) {
            ended_ = true;
            return;
        }
    }
    tick_ = 0;
    playedOrder_ = order_;
    playedRow_ = row_;
    const int pattern = module_.orders[static_cast<std::size_t>(order_)];
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        playCell(static_cast<int>(i), channels_[i], module_.cell(pattern, row_, static_cast<int>(i)));
    }
    // The loop registers of every voice take the loaded sample's loop, after all
    // notes have started: a sample number without a note changes what a playing
    // voice goes on with once its current block ends.
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        const Channel& channel = channels_[i];
        if (channel.sample > 0) {
            mixer_.setLoop(static_cast<int>(i), channel.sample - 1, channel.loopStart, channel.loopLength * 2);
        }
    }
}

void ModPlayer::playCell(int index, Channel& channel, const ModCell& cell)
{
    // An empty cell takes back whatever arpeggio or vibrato did to the period.
    if (cell.period == 0 && cell.sample == 0 && cell.effect == 0 && cell.parameter == 0) {
        channel.outputPeriod = channel.period;
    }
    channel.cell = cell;
    if (cell.sample > 0 && cell.sample <= static_cast<int>(module_.samples.size())) {
        loadSample(channel, cell.sample);
    }
    if (cell.period == 0) {
        rowEffects(index, channel);
        return;
    }

    const int command = cell.parameter >> 4;
    if (cell.effect == 0xE && command == 0x5) {
        channel.finetune = cell.parameter & 0x0F;
    } else if (cell.effect == 0x3 || cell.effect == 0x5) {
        // A note with tone portamento is a target, not a new note.
        setTonePortamento(channel);
        rowEffects(index, channel);
        return;
    } else if (cell.effect == 0x9) {
        // The offset applies before the note starts, and once more below: a later note
        // without a sample number starts from twice the offset.
        rowEffects(index, channel);
    }

    channel.period = tablePeriod(channel.finetune, noteAtOrBelow(0, cell.period));
    if (cell.effect == 0xE && command == 0xD) {
        // Note delay: the note starts on a later tick, if at all.
        rowEffects(index, channel);
        return;
    }
    if ((channel.waveControl & 0x04) == 0) {
        channel.vibratoPosition = 0;
    }
    if ((channel.waveControl & 0x40) == 0) {
        channel.tremoloPosition = 0;
    }
    triggerNote(index, channel);
    channel.outputPeriod = channel.period;
    rowEffects(index, channel);
}

void ModPlayer::loadSample(Channel& channel, int number)
{
    const ModSample& sample = module_.samples[static_cast<std::size_t>(number - 1)];
    channel.sample = number;
    channel.start = 0;
    channel.length = static_cast<std::uint32_t>(sample.data.size() / 2);
    channel.finetune = sample.finetune & 0x0F;
    channel.volume = sample.volume;
    channel.outputVolume = sample.volume;
    if (sample.looped()) {
        channel.loopStart = sample.loopStart;
        channel.loopLength = sample.loopLength / 2;
        // A loop that starts later cuts the sample at the loop's end; one that starts at
        // the beginning lets the whole sample play once first.
        if (sample.loopStart > 0) {
            channel.length = (sample.loopStart + sample.loopLength) / 2;
        }
    } else {
        channel.loopStart = 0;
        channel.loopLength = 1;
    }
    channel.invertAt = channel.loopStart;
}

void ModPlayer::triggerNote(int index, Channel& channel)
{
    channel.playingSample = channel.sample;
    mixer_.trigger(index, channel.sample - 1, channel.start, channel.length * 2);
    if (channel.sample > 0) {
        mixer_.setLoop(index, channel.sample - 1, channel.loopStart, channel.loopLength * 2);
    }
}

void ModPlayer::setTonePortamento(Channel& channel)
{
    // The search takes in the row's closing 0, so a target above B-3 is no target.
    int note = 0;
    while (note < notesPerFinetune && tablePeriod(channel.finetune, note) > channel.cell.period) {
        ++note;
    }
    // With a negative finetune ProTracker aims one entry higher in the row than it found.
    if ((channel.finetune & 8) != 0 && note > 0) {
        --note;
    }
    channel.wantedPeriod = tablePeriod(channel.finetune, note);
    if (channel.period == channel.wantedPeriod) {
        channel.wantedPeriod = 0;
    }
    channel.portamentoDown = channel.period < channel.wantedPeriod;
}

// The effects of a row's first tick.
void ModPlayer::rowEffects(int index, Channel& channel)
{
    invertLoop(channel);
    const int parameter = channel.cell.parameter;
    switch (channel.cell.effect) {
    case 0x9:   // sample offset
        sampleOffset(channel);
        break;
    case 0xB:   // position jump
        jumpOrder_ = parameter;
        breakRow_ = 0;
        positionJump_ = true;
        break;
    case 0xD: { // pattern break, to a row given in decimal digits
        const int row = (parameter >> 4) * 10 + (parameter & 0x0F);
        breakRow_ = row < ModModule::rowsPerPattern ? row : 0;
        positionJump_ = true;
        break;
    }
    case 0xE:   // extended effects
        extendedEffects(index, channel);
        break;
    case 0xC:   // set volume
        channel.volume = std::min(parameter, 64);
        channel.outputVolume = channel.volume;
        break;
    case 0xF:   // speed below 0x20, tempo from there on; 0 changes nothing
        if (parameter >= 0x20) {
            tempo_ = parameter;
        } else if (parameter > 0) {
            speed_ = parameter;
            counter_ = 0;
        }
        break;
    case 0x8:   // panning
        channel.panning = parameter;
        channel.outputPeriod = channel.period;
        break;
    default:
        channel.outputPeriod = channel.period;
        break;
    }
}

// The effects of the ticks after the first.
void ModPlayer::tickEffects(int index, Channel& channel)
{
    invertLoop(channel);
    const ModCell& cell = channel.cell;
    if (cell.effect == 0 && cell.parameter == 0) {
        channel.outputPeriod = channel.period;
        return;
    }
    switch (cell.effect) {
    case 0x0:   // arpeggio
        arpeggio(channel);
        return;
    case 0x1:   // portamento up
        slidePeriod(channel, -cell.parameter);
        return;
    case 0x2:   // portamento down
        slidePeriod(channel, cell.parameter);
        return;
    case 0x3:   // tone portamento
        if (cell.parameter > 0) {
            channel.portamentoSpeed = cell.parameter;
            // ProTracker clears the parameter once it has been taken.
            channel.cell.parameter = 0;
        }
        tonePortamento(channel);
        return;
    case 0x4:   // vibrato
        channel.vibratoCommand = rememberNibbles(channel.vibratoCommand, cell.parameter);
        vibrato(channel);
        return;
    case 0x5:   // tone portamento and volume slide
        tonePortamento(channel);
        volumeSlide(channel);
        return;
    case 0x6:   // vibrato and volume slide
        vibrato(channel);
        volumeSlide(channel);
        return;
    case 0xE:   // extended effects
        extendedEffects(index, channel);
        return;
    default:
        break;
    }
    channel.outputPeriod = channel.period;
    if (cell.effect == 0x7) {   // tremolo
        channel.tremoloCommand = rememberNibbles(channel.tremoloCommand, cell.parameter);
        tremolo(channel);
    } else if (cell.effect == 0xA) {   // volume slide
        volumeSlide(channel);
    }
}

// E0x to EFx; on a row's first tick and on the ticks after it, each decides for itself.
void ModPlayer::extendedEffects(int index, Channel& channel)
{
    const int value = channel.cell.parameter & 0x0F;
    const bool firstTick = counter_ == 0;
    switch (channel.cell.parameter >> 4) {
    case 0x0:   // filter: the mixer has none
        break;
    case 0x1:   // fine portamento up
        if (firstTick) {
            slidePeriod(channel, -value);
        }
        break;
    case 0x2:   // fine portamento down
        if (firstTick) {
            slidePeriod(channel, value);
        }
        break;
    case 0x3:   // glissando control
        channel.glissando = (channel.glissando & 0xF0) | value;
        break;
    case 0x4:   // vibrato waveform
        channel.waveControl = (channel.waveControl & 0xF0) | value;
        break;
    case 0x5:   // set finetune
        channel.finetune = value;
        break;
    case 0x6:   // pattern loop: E60 marks the start, E6x plays the stretch x more times
        if (!firstTick) {
            break;
        }
        if (value == 0) {
            channel.loopRow = row_;
        } else if (channel.loopCount == 0 || --channel.loopCount > 0) {
            if (channel.loopCount == 0) {
                channel.loopCount = value;
            }
            breakRow_ = channel.loopRow;
            loopJump_ = true;
        }
        break;
    case 0x7:   // tremolo waveform
        channel.waveControl = (channel.waveControl & 0x0F) | value << 4;
        break;
    case 0x8:   // coarse panning
        channel.panning = value * 17;
        break;
    case 0x9:   // retrigger every x ticks; on the first tick only when the row has no note
        if (value == 0 || (firstTick && channel.cell.period != 0) || counter_ % value != 0) {
            break;
        }
        // After a sample number without a note the retrigger restarts the sample that
        // is playing, and the new one is not swapped in.
        if (channel.playingSample != channel.sample && channel.playingSample > 0) {
            const int volume = channel.volume;
            loadSample(channel, channel.playingSample);
            channel.volume = volume;
            channel.outputVolume = volume;
        }
        triggerNote(index, channel);
        break;
    case 0xA:   // fine volume slide up
        if (firstTick) {
            channel.volume = std::min(channel.volume + value, 64);
            channel.outputVolume = channel.volume;
        }
        break;
    case 0xB:   // fine volume slide down
        if (firstTick) {
            channel.volume = std::max(channel.volume - value, 0);
            channel.outputVolume = channel.volume;
        }
        break;
    case 0xC:   // note cut on tick x
        if (counter_ == value) {
            channel.volume = 0;
            channel.outputVolume = 0;
        }
        break;
    case 0xD:   // note delay: the row's note starts on tick x
        if (counter_ == value && channel.cell.period != 0) {
            triggerNote(index, channel);
            channel.outputPeriod = channel.period;
        }
        break;
    case 0xE:   // pattern delay: the row lasts x + 1 times as long, notes not repeated
        if (firstTick && patternDelayLeft_ == 0) {
            patternDelay_ = value + 1;
        }
        break;
    case 0xF:   // invert loop
        if (firstTick) {
            channel.glissando = (channel.glissando & 0x0F) | value << 4;
            if (value != 0) {
                invertLoop(channel);
            }
        }
        break;
    default:
        break;
    }
}

void ModPlayer::sampleOffset(Channel& channel)
{
    if (channel.cell.parameter > 0) {
        channel.offset = channel.cell.parameter;
    }
    // The offset counts 256 bytes; past the end only one word is left to play.
    const std::uint32_t words = static_cast<std::uint32_t>(channel.offset) << 7;
    if (words < channel.length) {
        channel.length -= words;
        channel.start += words * 2;
    } else {
        channel.length = 1;
    }
}

// Slides stop at B-3 going up and at C-1 going down, whatever the finetune.
void ModPlayer::slidePeriod(Channel& channel, int amount)
{
    channel.period += amount;
    if (amount < 0) {
        channel.period = std::max(channel.period, highestNote);
    } else {
        channel.period = std::min(channel.period, lowestNote);
    }
    channel.outputPeriod = channel.period;
}

void ModPlayer::tonePortamento(Channel& channel)
{
    if (channel.wantedPeriod == 0) {
        return;
    }
    if (channel.portamentoDown) {
        channel.period += channel.portamentoSpeed;
        if (channel.period >= channel.wantedPeriod) {
            channel.period = channel.wantedPeriod;
            channel.wantedPeriod = 0;
        }
    } else {
        channel.period -= channel.portamentoSpeed;
        if (channel.period <= channel.wantedPeriod) {
            channel.period = channel.wantedPeriod;
            channel.wantedPeriod = 0;
        }
    }
    if ((channel.glissando & 0x0F) != 0) {
        // Glissando: the voice moves in semitones while the slide runs smoothly beneath.
        channel.outputPeriod = tablePeriod(channel.finetune, noteAtOrBelow(channel.finetune, channel.period));
    } else {
        channel.outputPeriod = channel.period;
    }
}

void ModPlayer::vibrato(Channel& channel)
{
    const int wave = waveValue(channel.waveControl, channel.vibratoPosition, channel.vibratoPosition);
    const int delta = wave * (channel.vibratoCommand & 0x0F) >> 7;
    channel.outputPeriod = channel.vibratoPosition < 128 ? channel.period + delta : channel.period - delta;
    channel.vibratoPosition = (channel.vibratoPosition + (channel.vibratoCommand >> 2 & 0x3C)) & 0xFF;
}

void ModPlayer::tremolo(Channel& channel)
{
    const int wave = waveValue(channel.waveControl >> 4, channel.tremoloPosition, channel.vibratoPosition);
    const int delta = wave * (channel.tremoloCommand & 0x0F) >> 6;
    channel.outputVolume = channel.tremoloPosition < 128 ? std::min(channel.volume + delta, 64)
                                                          : std::max(channel.volume - delta, 0);
    channel.tremoloPosition = (channel.tremoloPosition + (channel.tremoloCommand >> 2 & 0x3C)) & 0xFF;
}

// Up by the high nibble if it is set, otherwise down by the low one.
void ModPlayer::volumeSlide(Channel& channel)
{
    const int up = channel.cell.parameter >> 4;
    const int down = channel.cell.parameter & 0x0F;
    channel.volume = up > 0 ? std::min(channel.volume + up, 64) : std::max(channel.volume - down, 0);
    channel.outputVolume = channel.volume;
}

// The note, then x semitones up, then y, one per tick. Past B-3 the notes run into the
// next finetune's row; the row's closing 0 stops the voice where it is.
void ModPlayer::arpeggio(Channel& channel)
{
    const int step = counter_ % 3;
    if (step == 0) {
        channel.outputPeriod = channel.period;
        return;
    }
    const int semitones = step == 1 ? channel.cell.parameter >> 4 : channel.cell.parameter & 0x0F;
    int note = 0;
    while (note < notesPerFinetune && tablePeriod(channel.finetune, note) > channel.period) {
        ++note;
    }
    channel.outputPeriod = periodInRun(channel.finetune, note + semitones);
}

// EFx: flips one byte of the loop after another, at the effect's speed, for good: the
// sample stays changed for every later note.
void ModPlayer::invertLoop(Channel& channel)
{
    const int speed = channel.glissando >> 4;
    if (speed == 0 || channel.sample == 0) {
        return;
    }
    channel.invertCounter += invertSpeeds[static_cast<std::size_t>(speed)];
    if (channel.invertCounter < 128) {
        return;
    }
    channel.invertCounter = 0;
    std::vector<std::int8_t>& data = samples_[static_cast<std::size_t>(channel.sample - 1)];
    const std::uint32_t loopEnd = channel.loopStart + channel.loopLength * 2;
    if (++channel.invertAt >= loopEnd) {
        channel.invertAt = channel.loopStart;
    }
    if (channel.invertAt < data.size()) {
        data[channel.invertAt] = static_cast<std::int8_t>(-1 - data[channel.invertAt]);
    }
}

void ModPlayer::endRow()
{
    ++row_;
    if (patternDelay_ > 0) {
        patternDelayLeft_ = patternDelay_;
        patternDelay_ = 0;
    }
    if (patternDelayLeft_ > 0 && --patternDelayLeft_ > 0) {
        --row_;
    }
    if (loopJump_) {
        loopJump_ = false;
        row_ = breakRow_;
        breakRow_ = 0;
    }
    if (row_ >= ModModule::rowsPerPattern) {
        nextPosition();
    }
}

// Moves to the next order, or to the one a position jump named. Orders that name no
// stored pattern are passed over; coming back to an order already played, at the end
// of the list or by a jump backwards, starts another pass.
void ModPlayer::nextPosition()
{
    row_ = breakRow_;
    breakRow_ = 0;
    positionJump_ = false;
    bool back = false;
    int target = order_ + 1;
    if (jumpOrder_ >= 0) {
        target = jumpOrder_ & 0x7F;
        back = target <= order_;
        jumpOrder_ = -1;
    }
    for (int tries = 0;; ++tries) {
        if (target >= module_.songLength) {
            target = module_.restartPosition;
            back = true;
        }
        if (module_.orders[static_cast<std::size_t>(target)] < module_.patternCount) {
            break;
        }
        if (tries >= module_.songLength) {
            ended_ = true;
            return;
        }
        ++target;
    }
    order_ = target;
    wrapped_ = wrapped_ || back;
}

void ModPlayer::updateVoices()
{
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        const Channel& channel = channels_[i];
        mixer_.setPeriod(static_cast<int>(i), channel.outputPeriod);
        mixer_.setVolume(static_cast<int>(i), channel.outputVolume, channel.panning);
    }
}

double modSongSeconds(const ModModule& module, double limitSeconds)
{
    ModPlayerOptions options;
    options.loop = true;
    ModPlayer player(module, options);
    double seconds = 0.0;
    while (seconds < limitSeconds) {
        const double tick = 2.5 / player.tempo();
        player.advanceTick();
        if (player.ended() || player.passes() > 0) {
            break;
        }
        seconds += tick;
    }
    return seconds;
}
