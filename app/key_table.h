#pragma once

// The keys as the main loop reads them, filled from the platform's key events (the
// window procedure's messages, or the page's keyboard events).

// One entry per Win32 virtual-key code: 1 while the key is down, and also for a key
// that went down and up again since the main loop last read the table. Read by the main
// loop, which calls keysPolled after each reading.
extern unsigned char KeyState[256];

// A key went down; an auto-repeat of a key already down adds nothing.
void keyPressed(int key, bool repeat);
// A key went up. A press the main loop has not read yet stays in the table until it has.
void keyReleased(int key);
// Every key counts as up: the releases of keys held now would go elsewhere.
void clearKeys();

// Tells the table that the main loop has read KeyState: the keys released since the
// read before now count as up.
void keysPolled();
