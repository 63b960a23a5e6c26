// The per-frame cost of starting a frame: the camera's transform and frustum, and the
// render window's projection and clear at 640 x 480.
#include <benchmark/benchmark.h>

#include "app/offscreen_show.h"
#include "platform/offscreen_context.h"
#include "platform/render_window.h"
#include "scene/camera.h"

namespace {

void BM_CameraApply(benchmark::State& state)
{
    OffscreenContext context;
    startOffscreenShow();
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
    startOffscreenShow();
    for (auto _ : state) {
        renderWindow.beginFrame(camera);
        glFinish();
    }
}
BENCHMARK(BM_BeginFrame)->Unit(benchmark::kMicrosecond);

} // namespace
