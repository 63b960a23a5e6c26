#pragma once

#include "platform/gl.h"

// The textures that the main phase draws with, under the names the scene set-up gave
// them (app/scene_setup.cpp, which writes them again after F1 replaced the context):
// the sphere's and a panel layer's swirl, the water's burst, the top-left bar, and the
// procedural pattern of the panel's first layer. 0 until then, or when a load failed.
extern GLuint swirlTexture;
extern GLuint rippleTexture;
extern GLuint barTexture;
extern GLuint layerTexture;

// The drift of the panel's two layers, in overlay pixels: a circle of radius 100 that
// turns with the credits' scroll. Set by every main-phase frame before use.
extern float layerDriftX;
extern float layerDriftY;

// One frame of the main phase: the water and the bouncing sphere, then the overlay of
// separator, tinted panel with its drifting layers, bar, caption and credits. Ends with
// the overlay closed and the frame presented.
void drawMainPhaseFrame();
