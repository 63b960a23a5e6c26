// The scene objects' per-frame costs: one water step with its normals at three grid
// sides, and one draw of the water and of the sphere under the off-screen rasteriser.
#include <benchmark/benchmark.h>

#include <memory>

#include "app/offscreen_show.h"
#include "platform/offscreen_context.h"
#include "platform/render_window.h"
#include "scene/bouncing_sphere.h"
#include "scene/camera.h"
#include "scene/ripple_surface.h"
#include "show/main_phase.h"

namespace {

// A surface kept moving by a splash every 40 steps, as the sphere's landings do, so that
// the heights never settle into values that cost less.
void BM_RippleStep(benchmark::State& state)
{
    auto surface = std::make_unique<RippleSurface>();
    surface->setup(static_cast<int>(state.range(0)), 2.0f);
    int steps = 0;
    for (auto _ : state) {
        if (steps++ % 40 == 0) {
            surface->splash();
        }
        surface->computeNormals();
        surface->step();
        benchmark::DoNotOptimize(surface->positions[1][1].y);
    }
    const auto n = state.range(0);
    state.SetComplexityN(n * n);
}
BENCHMARK(BM_RippleStep)->Arg(25)->Arg(50)->Arg(100)->Unit(benchmark::kMicrosecond)->Complexity(benchmark::oN);

// The set-up view at 640 x 480, with the scene as InitScene leaves it.
void setUpScene()
{
    startOffscreenShow();
    renderWindow.beginFrame(camera);
    glDisable(GL_DEPTH_TEST);
}

void BM_RippleDraw(benchmark::State& state)
{
    OffscreenContext context;
    setUpScene();
    for (auto _ : state) {
        rippleSurface.draw(rippleTexture);
        glFinish();
    }
}
BENCHMARK(BM_RippleDraw)->Unit(benchmark::kMicrosecond);

void BM_SphereDraw(benchmark::State& state)
{
    OffscreenContext context;
    setUpScene();
    float time = 0.0f;
    for (auto _ : state) {
        bouncingSphere.draw(time);
        glFinish();
        time += 0.016f;
    }
}
BENCHMARK(BM_SphereDraw)->Unit(benchmark::kMicrosecond);

} // namespace
