#include "sound/player.h"

#include <algorithm>

#include "sound/format_rules.h"
#include "sound/mixer.h"

void Song::setSpeed(int speed)
{
    speed_ = std::max(speed, 1);
    repeatTick_ = 0;
}

void Song::setTempo(int tempo)
{
    tempo_ = std::max(tempo, 1);
}

void Song::jumpToOrder(int order)
{
    jumpOrder_ = order;
    breakRow_ = 0;
    positionJump_ = true;
}

void Song::breakToRow(int row)
{
    breakRow_ = row;
    positionJump_ = true;
}

void Song::loopToRow(int row)
{
    breakRow_ = row;
    loopJump_ = true;
}

void Song::delayRow(int repeats)
{
    if (patternDelayLeft_ == 0) {
        patternDelay_ = repeats + 1;
    }
}

void Song::extendRow(int ticks)
{
    extraTicks_ += ticks;
}

Player::Player(const Module& module, PlayerOptions options)
    : module_(module), options_(options), rules_(makeFormatRules(module, song_, options))
{
    song_.setSpeed(module.initialSpeed);
    song_.setTempo(module.initialTempo);
    song_.globalVolume = module.initialGlobalVolume;
    // The first tick reads the first row.
    song_.repeatTick_ = song_.speed_ - 1;
    song_.order_ = -1;
    song_.jumpOrder_ = 0;
    nextPosition();
    wrapped_ = false;
    song_.row_ = 0;
}

Player::~Player() = default;

ChannelTrace Player::channel(int index) const
{
    return rules_->channel(index);
}

std::size_t FormatRules::tickFrames(int rate, int tempo, std::uint64_t&) const
{
    // A tick lasts 2.5 / tempo seconds.
    return static_cast<std::size_t>(static_cast<std::uint64_t>(rate) * 5 / (static_cast<std::uint64_t>(tempo) * 2));
}

std::size_t Player::framesOfTick()
{
    return rules_->tickFrames(options_.rate, song_.tempo_, tickRemainder_);
}

std::size_t Player::render(std::int16_t* out, std::size_t frames)
{
    std::size_t written = 0;
    while (written < frames) {
        if (tickFramesLeft_ == 0) {
            if (ended_) {
                break;
            }
            const std::size_t length = advanceTick();
            if (ended_) {
                break;
            }
            tickFramesLeft_ = length;
        }
        const std::size_t count = std::min(frames - written, tickFramesLeft_);
        rules_->mixer().mix(out + 2 * written, count);
        written += count;
        tickFramesLeft_ -= count;
    }
    return written;
}

std::size_t Player::advanceTick()
{
    if (ended_) {
        return 0;
    }
    // ProTracker's tick lasts as the tempo was before the tick ran, so a tempo change
    // takes effect from the row's second tick; the PC trackers' from the tick it is read.
    const bool tempoFirst = rules_->tempoBeforeTick();
    std::size_t frames = tempoFirst ? framesOfTick() : 0;
    ++rowTick_;
    if (++song_.repeatTick_ >= song_.speed_ + song_.extraTicks_) {
        song_.repeatTick_ = 0;
        song_.extraTicks_ = 0;
        if (song_.patternDelayLeft_ == 0) {
            playRow();
            if (ended_) {
                return tempoFirst ? frames : framesOfTick();
            }
        } else {
            rules_->repeatRow();
        }
        endRow();
    } else {
        rules_->playTick();
    }
    if (song_.positionJump_) {
        nextPosition();
    }
    if (options_.voices) {
        rules_->updateVoices();
    }
    return tempoFirst ? frames : framesOfTick();
}

void Player::playRow()
{
    if (wrapped_) {
        wrapped_ = false;
        ++passes_;
        if (!options_.loop) {
            ended_ = true;
            return;
        }
    }
    rowTick_ = 0;
    playedOrder_ = song_.order_;
    playedRow_ = song_.row_;
    rules_->playRow(module_.orders[static_cast<std::size_t>(song_.order_)], song_.row_);
}

int Player::rowsOf(int order) const
{
    return module_.patterns[module_.orders[static_cast<std::size_t>(order)]].rows;
}

void Player::endRow()
{
    Song& song = song_;
    ++song.row_;
    if (song.patternDelay_ > 0) {
        song.patternDelayLeft_ = song.patternDelay_;
        song.patternDelay_ = 0;
    }
    if (song.patternDelayLeft_ > 0 && --song.patternDelayLeft_ > 0) {
        --song.row_;
    }
    if (song.loopJump_) {
        song.loopJump_ = false;
        song.row_ = song.breakRow_;
        song.breakRow_ = 0;
    }
    if (song.row_ >= rowsOf(song.order_)) {
        nextPosition();
    }
}

// Moves to the next order, or to the one a position jump named. Orders that name no
// stored pattern are passed over; the end of the list, or an end mark in it, goes back
// to the restart position. Coming back to an order already played, that way or by a
// jump backwards, starts another pass.
void Player::nextPosition()
{
    Song& song = song_;
    song.row_ = song.breakRow_;
    song.breakRow_ = 0;
    song.positionJump_ = false;
    bool back = false;
    int target = song.order_ + 1;
    if (song.jumpOrder_ >= 0) {
        target = song.jumpOrder_;
        back = target <= song.order_;
        song.jumpOrder_ = -1;
    }
    const int length = static_cast<int>(module_.orders.size());
    if (length == 0) {
        ended_ = true;
        return;
    }
    for (int tries = 0;; ++tries) {
        if (target >= length || module_.orders[static_cast<std::size_t>(target)] == orderEnd) {
            target = module_.restartPosition;
            back = true;
        }
        if (module_.orders[static_cast<std::size_t>(target)] < module_.patterns.size()) {
            break;
        }
        if (tries >= length) {
            ended_ = true;
            return;
        }
        ++target;
    }
    song.order_ = target;
    // A break to a row past the pattern's end starts it from the top.
    if (song.row_ >= rowsOf(target)) {
        song.row_ = 0;
    }
    wrapped_ = wrapped_ || back;
}

std::size_t songFrames(const Module& module, int rate, double limitSeconds)
{
    PlayerOptions options;
    options.rate = rate;
    options.loop = true;
    options.voices = false;
    Player player(module, options);
    const double limitFrames = limitSeconds * rate;
    std::size_t frames = 0;
    while (static_cast<double>(frames) < limitFrames) {
        const std::size_t tick = player.advanceTick();
        if (player.ended() || player.passes() > 0) {
            break;
        }
        frames += tick;
    }
    return frames;
}

double songSeconds(const Module& module, double limitSeconds)
{
    PlayerOptions options;
    options.loop = true;
    options.voices = false;
    Player player(module, options);
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
