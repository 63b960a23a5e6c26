// The GL layer's own work, on an OpenGL ES 3 context: N textured quads drawn as the font
// draws its glyphs, each its own primitive under its own translation with the state set
// again before it, against the same quads as one primitive. The first costs about what
// the second does when the layer's work follows the vertices drawn, not the calls made.
#include <benchmark/benchmark.h>

#include "platform/gl.h"
#include "platform/offscreen_context.h"

namespace {

void prepare()
{
    glViewport(0, 0, 640, 480);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, 640.0, 480.0, 0.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glColor4f(1.0f, 1.0f, 1.0f, 0.5f);
}

void quad(float x, float y)
{
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(x, y);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(x + 4.0f, y);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(x + 4.0f, y + 4.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(x, y + 4.0f);
}

void BM_LayerQuadsAsGlyphs(benchmark::State& state)
{
    OffscreenContext context;
    prepare();
    const auto count = static_cast<int>(state.range(0));
    for (auto _ : state) {
        for (int i = 0; i < count; ++i) {
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE);
            glPushMatrix();
            glTranslatef(static_cast<float>(i % 100) * 6.0f, static_cast<float>(i / 100) * 6.0f, 0.0f);
            glBegin(GL_QUADS);
            quad(0.0f, 0.0f);
            glEnd();
            glPopMatrix();
        }
        glFinish();
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_LayerQuadsAsGlyphs)->Arg(500)->Arg(2000)->Arg(8000)->Unit(benchmark::kMicrosecond);

void BM_LayerQuadsInOnePrimitive(benchmark::State& state)
{
    OffscreenContext context;
    prepare();
    const auto count = static_cast<int>(state.range(0));
    for (auto _ : state) {
        glBegin(GL_QUADS);
        for (int i = 0; i < count; ++i) {
            quad(static_cast<float>(i % 100) * 6.0f, static_cast<float>(i / 100) * 6.0f);
        }
        glEnd();
        glFinish();
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_LayerQuadsInOnePrimitive)->Arg(500)->Arg(2000)->Arg(8000)->Unit(benchmark::kMicrosecond);

} // namespace
