#pragma once

// The one-time set-up of the scene, right after the window has first been opened.
void InitScene();

// The scene's GL state and light, on top of the render window's base state.
void initSceneState();
