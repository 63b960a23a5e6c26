#pragma once

// Draws and presents one frame of the show; false asks the main loop to quit.
bool DrawFrame();
