#include "app/key_table.h"

#include <cstring>

unsigned char KeyState[256];

namespace {

// Keys that went down since the main loop last read the table, and those of them whose
// release has come too: such a release waits for the read, so that a press shorter
// than a frame is still seen once.
unsigned char pressedSincePoll[256];
unsigned char releasedBeforePoll[256];

} // namespace

void keyPressed(int key, bool repeat)
{
    // A held key is recorded once: its auto-repeats would set an F1 that the mode switch
    // has consumed again.
    if (!repeat) {
        KeyState[key & 0xFF] = 1;
        pressedSincePoll[key & 0xFF] = 1;
        releasedBeforePoll[key & 0xFF] = 0;
    }
}

void keyReleased(int key)
{
    if (pressedSincePoll[key & 0xFF]) {
        releasedBeforePoll[key & 0xFF] = 1;
    } else {
        KeyState[key & 0xFF] = 0;
    }
}

void clearKeys()
{
    std::memset(KeyState, 0, sizeof KeyState);
    std::memset(pressedSincePoll, 0, sizeof pressedSincePoll);
    std::memset(releasedBeforePoll, 0, sizeof releasedBeforePoll);
}

void keysPolled()
{
    for (int key = 0; key < 256; ++key) {
        if (releasedBeforePoll[key]) {
            KeyState[key] = 0;
        }
    }
    std::memset(pressedSincePoll, 0, sizeof pressedSincePoll);
    std::memset(releasedBeforePoll, 0, sizeof releasedBeforePoll);
}
