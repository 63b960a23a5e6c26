// The whole show per frame, with the program's own pictures, at 640 x 480 under the
// off-screen rasteriser: a title frame and a main-phase frame, and the scene set-up.
// Built twice: on OSMesa's desktop GL (thousand_bench), and through the GL layer on an
// OpenGL ES 3 context (thousand_bench_gles); the names end with which.
#include <benchmark/benchmark.h>

#include <time.h>

#include <string>

#include "app/offscreen_show.h"
#include "assets/texture_registry_offscreen.h"
#include "platform/gl.h"
#include "platform/offscreen_context.h"
#include "show/frame_script.h"

namespace {

#ifdef THOUSAND_GL_LAYER
const std::string drawnThrough = "/gl11_on_es3";
#else
const std::string drawnThrough = "/desktop_gl";
#endif

void addPictures()
{
    addProgramBitmaps(std::string(THOUSAND_SOURCE_DIR) + "/resources");
}

double cpuSeconds(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Frames of one phase as the show draws them, on the real clock, each finished before
// the next. Besides the rate it reports the main thread's CPU time per frame and its
// share of the process's: the program's own work and GL's handling of its calls (through
// the layer, its transforms and batches too), against the rasteriser's threads.
void drawFrames(benchmark::State& state, std::int32_t phase)
{
    OffscreenContext context;
    addPictures();
    startOffscreenShow();
    mainPhase = phase;
    const double threadStart = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    const double processStart = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    for (auto _ : state) {
        DrawFrame();
        glFinish();
        // The title would end after 4.4 s and give way to the main phase.
        mainPhase = phase;
    }
    const double thread = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - threadStart;
    const double process = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - processStart;
    state.counters["frames_per_second"] = benchmark::Counter(
        static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["main_thread_share"] = process > 0.0 ? thread / process : 0.0;
    state.counters["main_thread_ms"] =
        state.iterations() > 0 ? thread * 1e3 / static_cast<double>(state.iterations()) : 0.0;
}

void BM_TitleFrame(benchmark::State& state)
{
    drawFrames(state, 0);
}
BENCHMARK(BM_TitleFrame)->Name("BM_TitleFrame" + drawnThrough)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MainPhaseFrame(benchmark::State& state)
{
    drawFrames(state, 1);
}
BENCHMARK(BM_MainPhaseFrame)->Name("BM_MainPhaseFrame" + drawnThrough)->Unit(benchmark::kMillisecond)->UseRealTime();

// Everything from the opened window to the first frame: state, textures, font, water,
// sphere and the procedural layer, in a fresh context each time.
void BM_SceneSetUp(benchmark::State& state)
{
    addPictures();
    for (auto _ : state) {
        state.PauseTiming();
        {
            OffscreenContext context;
            state.ResumeTiming();
            startOffscreenShow();
            glFinish();
            state.PauseTiming();
        }
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SceneSetUp)->Name("BM_SceneSetUp" + drawnThrough)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
