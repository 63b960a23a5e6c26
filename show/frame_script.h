#pragma once

#include <cstdint>

// The show's two phases: 4.4 seconds of title, then the main phase until the end. The
// switch restarts the clock, so the main phase's animations begin at time 0.

// 0 during the title phase; 1 from the switch on, for good.
extern std::int32_t mainPhase;
// Grows by 0.02 per title frame once the title has run 3.6 seconds, fading its texts.
extern float titleFade;

// The length of the title phase, in seconds of the clock.
constexpr long double titleLength = 4.4L;

// Draws and presents one frame of the show; false would ask the main loop to quit, and
// never comes.
bool DrawFrame();

// Puts the show's own statics (the phase, the title's fade, the credits' scroll and wrap,
// the layers' drift) and what the show has left in the scene objects (the sphere's time
// of its last draw, the water's normals) back to how the program finds them at its
// start. The program never calls it: it starts the show once, from static storage. The
// host tests do, to start the show again in one process; the scene set-up must follow.
void resetShowState();
