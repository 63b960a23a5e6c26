#pragma once

#include "platform/gl.h"

// The textures that the set-up keeps for the frame script: the sphere's and a panel
// layer's swirl (bitmap 103), the water's burst (105), the top-left bar (113) and the
// procedural pattern of the panel's first layer.
extern GLuint swirlTexture;
extern GLuint rippleTexture;
extern GLuint barTexture;
extern GLuint layerTexture;

// The one-time set-up of the scene, right after the window has first been opened.
void InitScene();

// The scene's GL state and light, on top of the render window's base state.
void initSceneState();

// Makes again, in a rendering context that has replaced the one the set-up ran in, what
// the set-up made there: the scene's state and light, the textures under the names the
// show keeps, and the font's lists. The clock, the music, the water, the sphere's motion
// and the camera go on as they were.
void restoreScene();
