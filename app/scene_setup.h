#pragma once

// The one-time set-up of the scene, right after the window has first been opened. It
// makes the textures that the show draws with and keeps their names where the show
// declares them (show/main_phase.h).
void InitScene();

// The scene's GL state and light, on top of the render window's base state.
void initSceneState();

// Makes again, in a rendering context that has replaced the one the set-up ran in, what
// the set-up made there: the scene's state and light, the textures under the names the
// show keeps, and the font's lists. The clock, the music, the water, the sphere's motion
// and the camera go on as they were.
void restoreScene();
