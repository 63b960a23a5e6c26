#include "app/scene_setup.h"

#include "assets/bitmap_font.h"
#include "assets/texture_registry.h"
#include "platform/frame_timer.h"
#include "platform/gl.h"
#include "platform/music_player.h"
#include "resources/resource_numbers.h"
#include "scene/bouncing_sphere.h"
#include "scene/camera.h"
#include "scene/ripple_surface.h"
#include "show/main_phase.h"

namespace {

// No load's result is checked here: what fails to load leaves the show without it, and
// texture name 0 binds GL's default texture. The bitmaps become the first textures of
// the context, in the order swirl, cloud, burst, banner, then the font's glyphs. Returns
// the cloud, the sphere's environment map.
GLuint makeSceneTextures()
{
    swirlTexture = textureRegistry.loadBitmap(swirlBitmap);
    const GLuint cloudTexture = textureRegistry.loadBitmap(cloudBitmap);
    rippleTexture = textureRegistry.loadBitmap(burstBitmap);
    barTexture = textureRegistry.loadBitmap(bannerBitmap);
    return cloudTexture;
}

void makeFontAndLayer()
{
    bitmapFont.glyphTexture = textureRegistry.loadBitmap(glyphsBitmap);
    bitmapFont.build();
    layerTexture = textureRegistry.makeProcedural();
}

} // namespace

void InitScene()
{
    camera.farDistance = 100.0f;
    camera.nearDistance = 0.1f;
    camera.fieldOfView = 45.0f;
    camera.eye = Vec3{35.0f, 30.0f, 50.0f};
    camera.target = Vec3{35.0f, 0.0f, 25.0f};

    // Started before anything is loaded: loading time counts toward the title phase.
    frameTimer.start();

    initSceneState();

    // The show's soundtrack; without it, or without a device, the show runs silently.
    musicPlayer.loadFromResource(soundtrackMusic);

    // 50 x 50 vertices, splashed to a height of 2.
    rippleSurface.setup(50, 2.0f);

    // The cloud is the sphere's environment map, which the sphere alone keeps.
    const GLuint cloudTexture = makeSceneTextures();
    bouncingSphere.setup(swirlTexture, cloudTexture);
    makeFontAndLayer();
}

void restoreScene()
{
    initSceneState();
    textureRegistry.forgetTextures();
    bouncingSphere.environmentTexture = makeSceneTextures();
    bouncingSphere.baseTexture = swirlTexture;
    makeFontAndLayer();
}

void initSceneState()
{
    glShadeModel(GL_SMOOTH);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);

    // Given while the model-view matrix is still the identity that resize left, so the
    // light sits at (60, 60, 60) in eye coordinates and moves with the viewer.
    const GLfloat position[] = {60.0f, 60.0f, 60.0f, 1.0f};
    const GLfloat ambient[] = {0.5f, 0.5f, 0.5f, 1.0f};
    const GLfloat diffuse[] = {1.0f, 1.0f, 1.0f, 1.0f};
    glLightfv(GL_LIGHT1, GL_POSITION, position);
    glLightfv(GL_LIGHT1, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, diffuse);
    glEnable(GL_LIGHT1);
    glEnable(GL_LIGHTING);
}
