#pragma once

// Keeps the mouse pointer out of the show: hidden while it runs, and put back at one
// screen point on every idle pass of the main loop.
class CursorControl {
public:
    virtual ~CursorControl();

    // Raises (true) or lowers (false) the system's display counter of the pointer; it
    // shows while the counter is not negative, so every hide needs its show.
    void show(bool visible);

    // Moves the pointer to a point in screen coordinates.
    void moveTo(int x, int y);
};

extern CursorControl cursorControl;
