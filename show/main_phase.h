#pragma once

// The drift of the panel's two layers, in overlay pixels: a circle of radius 100 that
// turns with the credits' scroll. Set by every main-phase frame before use.
extern float layerDriftX;
extern float layerDriftY;

// One frame of the main phase: the water and the bouncing sphere, then the overlay of
// separator, tinted panel with its drifting layers, bar, caption and credits. Ends with
// the overlay closed and the frame presented.
void drawMainPhaseFrame();
