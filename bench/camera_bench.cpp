// The per-frame cost of starting a frame: the camera's transform and frustum, and the
// render window's projection and clear at 640 x 480.
#include <benchmark/benchmark.h>

#include "app/scene_setup.h"
#include "platform/render_window.h"
#include "scene/camera.h"
#include "tests/host/gl_context.h"

namespace {

void setUpView()
{
    renderWindow.resize(640, 480);
    renderWindow.initState();
    InitScene();
}

void BM_CameraApply(benchmark::State& state)
{
    OffscreenContext context;
    setUpView();
    for (auto _ : state) {
        glLoadIdentity();
        camera.apply();
        benchmark::DoNotOptimize(camera.planes[0].d);
    }
}
BENCHMARK(BM_CameraApply);

void BM_BeginFrame(benchmark::State& state)
{
    OffscreenContext context;
    setUpView();
    for (auto _ : state) {
        renderWindow.beginFrame(camera);
        glFinish();
    }
}
BENCHMARK(BM_BeginFrame)->Unit(benchmark::kMicrosecond);

} // namespace
