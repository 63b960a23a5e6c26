#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "app/scene_setup.h"
#include "assets/texture_registry_offscreen.h"
#include "platform/frame_timer.h"
#include "platform/gl.h"
#include "platform/offscreen_context.h"
#include "platform/render_window.h"
#include "scene/bouncing_sphere.h"
#include "scene/ripple_surface.h"
#include "show/credits_scroller.h"
#include "show/frame_script.h"
#include "show/main_phase.h"
#include "show/site.h"
#include "tests/host/gl_recorder.h"
#include "tests/host/pixel_probe.h"
#include "tests/host/show_start.h"
#include "tests/host/test_clock.h"

namespace {

using Text = GlRecorder::Text;

// The frame's clear colour, as an 8-bit buffer holds it.
constexpr OffscreenContext::Rgba background{42, 58, 128, 128};

// The show from its first frame, in a fresh 640 x 480 context.
class ShowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(startShow());
    }

    void TearDown() override
    {
        testClock::advancePerRead = 0;
        savePictureIfFailed(context);
    }

    // Draws one frame with the clock at `seconds` since the set-up; what it printed.
    std::vector<Text> frameAt(double seconds)
    {
        testClock::setSeconds(seconds);
        GlRecorder recorder;
        DrawFrame();
        return recorder.texts;
    }

    // A frame at `seconds` of main-phase time, once enterMainPhase has run.
    std::vector<Text> mainFrameAt(double seconds) { return frameAt(switchTime + seconds); }

    // One title frame past the title's length: the clock restarts at its end.
    void enterMainPhase()
    {
        frameAt(switchTime);
        ASSERT_EQ(mainPhase, 1);
    }

    static constexpr double switchTime = 4.5;
    OffscreenContext context;
};

// The texts printed at their natural size, the ghost copies left out.
std::vector<Text> unscaled(const std::vector<Text>& texts)
{
    std::vector<Text> kept;
    for (const Text& text : texts) {
        if (text.scaleX == 1.0f && text.scaleY == 1.0f) {
            kept.push_back(text);
        }
    }
    return kept;
}

std::vector<std::string> stagesShown(const std::vector<Text>& texts)
{
    std::vector<std::string> stages;
    for (const Text& text : unscaled(texts)) {
        if (text.x == 350.0f && text.y == 400.0f) {
            stages.push_back(text.text);
        }
    }
    return stages;
}

using Stages = std::vector<std::string>;

TEST_F(ShowTest, TheSiteNameIsRevealedInThreeStagesUnderTheGroupName)
{
    const struct {
        double seconds;
        Stages shown;
    } cases[] = {
        {0.0, {}},
        {0.5, {"Dolven"}},
        {1.0, {}},
        {1.8, {"Dolven Quarn"}},
        {2.5, {}},
        {3.0, {"Dolven Quarn 1000"}},
        {4.0, {"Dolven Quarn 1000"}},
    };
    for (const auto& c : cases) {
        const std::vector<Text> texts = unscaled(frameAt(c.seconds));
        ASSERT_FALSE(texts.empty()) << c.seconds;
        EXPECT_EQ(texts[0].text, "Velmora") << c.seconds;
        EXPECT_EQ(texts[0].x, 40.0f);
        EXPECT_EQ(texts[0].y, 40.0f);
        EXPECT_EQ(stagesShown(texts), c.shown) << c.seconds;
    }
    EXPECT_EQ(mainPhase, 0);
}

// Every comparison reads the clock afresh: a frame whose readings cross a boundary
// prints the stages on both sides of it. The readings come in the order of the tests
// (> 0, < 1, > 1, < 2.5, > 2.5), each 2 microseconds after the one before.
TEST_F(ShowTest, AFrameThatCrossesAStageBoundaryShowsBothStages)
{
    testClock::advancePerRead = 2;
    EXPECT_EQ(stagesShown(frameAt(0.999997)), (Stages{"Dolven", "Dolven Quarn"}));
    EXPECT_EQ(stagesShown(frameAt(2.499993)), (Stages{"Dolven Quarn", "Dolven Quarn 1000"}));
}

// The ghosts: the group's name and the full name twice each, at (2, 1) and (1.6, 1.8)
// times their size, jittering around the texts with coordinates truncated toward zero.
TEST_F(ShowTest, GhostCopiesJitterAtTruncatedCoordinates)
{
    std::vector<int> firstXs;
    for (int frame = 0; frame < 120; ++frame) {
        const double t = 0.05 + frame * 0.029;
        std::vector<Text> ghosts;
        for (const Text& text : frameAt(t)) {
            if (text.scaleX != 1.0f) {
                ghosts.push_back(text);
            }
        }
        ASSERT_EQ(ghosts.size(), 4u) << t;
        const struct {
            const char* text;
            double x, y;
            float scaleX, scaleY;
        } expected[] = {
            {"Velmora", 2 * std::sin(40 * t), 3 * std::sin(30 * t) + 40, 2.0f, 1.0f},
            {"Dolven Quarn 1000", 3 * std::sin(60 * t) + 90, 2 * std::sin(70 * t) + 400, 2.0f, 1.0f},
            {"Velmora", 3 * std::sin(50 * t) + 20, 2 * std::sin(70 * t) + 20, 1.6f, 1.8f},
            {"Dolven Quarn 1000", 3 * std::sin(80 * t) + 150, 2 * std::sin(50 * t) + 220, 1.6f, 1.8f},
        };
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(ghosts[i].text, expected[i].text);
            EXPECT_FLOAT_EQ(ghosts[i].scaleX, expected[i].scaleX);
            EXPECT_FLOAT_EQ(ghosts[i].scaleY, expected[i].scaleY);
            EXPECT_EQ(std::lround(ghosts[i].x), static_cast<long>(std::trunc(expected[i].x))) << i << " at " << t;
            EXPECT_EQ(std::lround(ghosts[i].y), static_cast<long>(std::trunc(expected[i].y))) << i << " at " << t;
            EXPECT_FLOAT_EQ(ghosts[i].colour[3], 0.2f);
        }
        firstXs.push_back(static_cast<int>(std::lround(ghosts[0].x)));
    }
    // Truncation maps the whole of (-1, 1) to 0, so the first copy's x takes only three
    // values, 0 the most often; rounding would give five.
    int zeros = 0;
    for (int x : firstXs) {
        EXPECT_GE(x, -1);
        EXPECT_LE(x, 1);
        zeros += x == 0 ? 1 : 0;
    }
    EXPECT_GT(zeros, 25);
}

// At 60 frames per second from 3.5 s: the fade steps by 0.02 on every frame past 3.6 s,
// the texts taking the old value and the ghosts the new one; the frame that ends past
// 4.4 s is the last title frame, and the clock starts again from 0.
TEST_F(ShowTest, TheTitleFadesOutAndTheMainPhaseStartsWithTheClockAtZero)
{
    float fade = 0.0f;
    int frame = 0;
    for (; mainPhase == 0; ++frame) {
        const double t = 3.5 + frame / 60.0;
        ASSERT_LT(t, 4.45);
        const std::vector<Text> texts = frameAt(t);
        ASSERT_EQ(texts.size(), 6u) << t;
        EXPECT_FLOAT_EQ(texts[0].colour[3], 1.0f - fade) << t;
        if (t > 3.6) {
            fade += 0.02f;
        }
        EXPECT_FLOAT_EQ(titleFade, fade) << t;
        EXPECT_FLOAT_EQ(texts[5].colour[3], 0.2f - fade) << t;
        EXPECT_EQ(mainPhase, t > 4.4 ? 1 : 0) << t;
    }
    // 3.5 s + 55 frames is the first frame past 4.4 s; 49 of the frames ran past 3.6 s.
    EXPECT_EQ(frame, 56);
    EXPECT_NEAR(titleFade, 0.98f, 1e-5);
    EXPECT_TRUE(frameTimer.running);
    EXPECT_EQ(frameTimer.elapsed(), 0.0L);

    // The next frame is the first of the main phase: the address and the credits, with
    // the first line at the window's bottom edge; no title text.
    const std::vector<Text> texts = frameAt(3.5 + frame / 60.0);
    ASSERT_EQ(texts.size(), 1u + creditLineCount);
    EXPECT_EQ(texts[0].text, siteAddress);
    EXPECT_EQ(texts[1].text, creditLines[0].text);
    EXPECT_EQ(texts[1].y, 479.0f) << "1/60 s of scroll";
    EXPECT_NEAR(titleFade, 0.98f, 1e-5) << "nothing fades after the switch";
}

// A set-up slower than the title: one title frame, with the full name and one fade step.
TEST_F(ShowTest, ASetUpLongerThanTheTitleGivesOneTitleFrame)
{
    EXPECT_EQ(stagesShown(frameAt(5.0)), Stages{"Dolven Quarn 1000"});
    EXPECT_FLOAT_EQ(titleFade, 0.02f);
    EXPECT_EQ(mainPhase, 1);
    EXPECT_EQ(stagesShown(frameAt(5.02)), Stages{});
}

// The four splash vertices stand above the rest of the water after a frame that splashed.
bool splashed()
{
    return rippleSurface.positions[13][25].y > rippleSurface.positions[0][0].y + 1.0f;
}

// Only landings after 3 s splash: the contact that the last frame's sphere found.
TEST_F(ShowTest, OnlyALandingAfterThreeSecondsSplashes)
{
    enterMainPhase();
    for (double t : {2.9, 3.1}) {
        rippleSurface.reset();
        bouncingSphere.contact = true;
        mainFrameAt(t);
        EXPECT_EQ(splashed(), t > 3.0) << t;
    }
}

// The sphere lands at the main phase's start and again near 3.06 s; the first is let
// pass, and the splash waits for the frame after the landing.
TEST_F(ShowTest, TheFirstSplashComesWithTheSecondLanding)
{
    enterMainPhase();
    int firstSplash = -1;
    for (int frame = 0; frame <= 200 && firstSplash < 0; ++frame) {
        const bool contactBefore = bouncingSphere.contact;
        mainFrameAt(frame / 60.0);
        if (splashed()) {
            firstSplash = frame;
            EXPECT_TRUE(contactBefore);
        }
    }
    // The landing at pi - asin(1 / 12) = 3.058 s is seen by the draw at frame 184.
    EXPECT_EQ(firstSplash, 185);
}

// The overlay's primitives at a scroll of 0: the separator, the panel, and the two
// layers, dy = 100 puts the first at (100, 0) and the second opposite at (100, -200).
TEST_F(ShowTest, TheFirstMainFrameDrawsTheOverlayInItsPlaces)
{
    enterMainPhase();
    GlRecorder recorder;
    DrawFrame();
    EXPECT_EQ(creditsScroll, 0.0f);
    EXPECT_EQ(layerDriftX, 0.0f);
    EXPECT_EQ(layerDriftY, 100.0f);

    // After the water's 49 strips: the line, the panel, the layers, the bar (whose
    // two-coordinate vertices the recorder does not see).
    ASSERT_EQ(recorder.primitives.size(), 49u + 5u);
    const auto rectangle = [](float left, float top, float right, float bottom) {
        return std::vector<Vec3>{{left, top, 1},     {right, top, 1},    {right, bottom, 1},
                                 {left, top, 1},     {right, bottom, 1}, {left, bottom, 1}};
    };
    const struct {
        GLenum mode;
        std::vector<Vec3> vertices;
    } expected[] = {
        {GL_LINES, {{289, 0, 1}, {289, 480, 1}}},
        {GL_TRIANGLES, rectangle(290, 0, 640, 480)},
        {GL_TRIANGLES, rectangle(100, 0, 740, 780)},
        {GL_TRIANGLES, rectangle(100, -200, 740, 580)},
        {GL_TRIANGLES, {}},
    };
    for (std::size_t i = 0; i < 5; ++i) {
        const GlRecorder::Primitive& primitive = recorder.primitives[49 + i];
        EXPECT_EQ(primitive.mode, expected[i].mode) << i;
        ASSERT_EQ(primitive.vertices.size(), expected[i].vertices.size()) << i;
        for (std::size_t v = 0; v < primitive.vertices.size(); ++v) {
            EXPECT_EQ(primitive.vertices[v].x, expected[i].vertices[v].x) << i << ", " << v;
            EXPECT_EQ(primitive.vertices[v].y, expected[i].vertices[v].y) << i << ", " << v;
            EXPECT_EQ(primitive.vertices[v].z, 1.0f) << i << ", " << v;
        }
    }

    // The address at the bottom left, then every credit line at its base offset, all in
    // half-transparent white.
    ASSERT_EQ(recorder.texts.size(), 1u + creditLineCount);
    EXPECT_EQ(recorder.texts[0].text, siteAddress);
    EXPECT_EQ(recorder.texts[0].x, 0.0f);
    EXPECT_EQ(recorder.texts[0].y, 450.0f);
    for (int i = 0; i < creditLineCount; ++i) {
        const Text& text = recorder.texts[1 + i];
        EXPECT_EQ(text.text, creditLines[i].text);
        EXPECT_EQ(text.x, 295.0f);
        EXPECT_EQ(text.y, creditLines[i].baseOffset);
        EXPECT_EQ(text.colour[3], 0.5f);
    }

    // What the frame leaves: nothing enabled that the next frame does not set itself.
    const GLenum disabled[] = {GL_DEPTH_TEST, GL_BLEND, GL_STENCIL_TEST, GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T};
    for (GLenum capability : disabled) {
        EXPECT_FALSE(glIsEnabled(capability)) << std::hex << capability;
    }
    GLint environment = 0;
    GLint depth = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &environment);
    EXPECT_EQ(environment, GL_DECAL);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1);
}

// The layers turn with the scroll, a full circle of radius 100 every 2 pi x 16 pixels.
TEST_F(ShowTest, TheLayersCircleWithTheScroll)
{
    enterMainPhase();
    for (double t : {1.0, 3.35, 6.7}) {
        mainFrameAt(t);
        const double angle = 15.0 * t / 16.0;
        EXPECT_NEAR(layerDriftX, 100.0 * std::sin(angle), 1e-3) << t;
        EXPECT_NEAR(layerDriftY, 100.0 * std::cos(angle), 1e-3) << t;
    }
}

// 15 pixels a second, each line's y truncated toward zero; a scroll of exactly 2200
// keeps the column, one above it restarts it from the bottom.
TEST_F(ShowTest, TheCreditsScrollAndStartAgainAfterTheCycle)
{
    enterMainPhase();
    std::vector<Text> texts = mainFrameAt(10.04);
    EXPECT_FLOAT_EQ(creditsScroll, 150.6f);
    ASSERT_EQ(texts.size(), 1u + creditLineCount);
    EXPECT_EQ(texts[1].y, 329.0f) << "480 - 150.6";
    EXPECT_EQ(texts[69].y, 2029.0f);

    const struct {
        float scroll;
        int firstLineY;
        int secondLineY;
    } truncations[] = {{480.6f, 0, 39}, {479.4f, 0, 40}, {481.5f, -1, 38}};
    for (const auto& c : truncations) {
        creditsScroll = c.scroll;
        GlRecorder recorder;
        renderWindow.beginOverlay();
        drawCredits();
        renderWindow.endOverlay();
        ASSERT_EQ(recorder.texts.size(), static_cast<std::size_t>(creditLineCount));
        EXPECT_EQ(recorder.texts[0].y, static_cast<float>(c.firstLineY)) << c.scroll;
        EXPECT_EQ(recorder.texts[1].y, static_cast<float>(c.secondLineY)) << c.scroll;
    }

    creditsScroll = 2200.0f;
    drawCredits();
    EXPECT_EQ(scrollWrapOffset, 0.0f);

    // Through the clock: the first frame past the cycle restarts the column, and the
    // next frame's scroll counts the time since.
    const double pastCycle = 2200.3 / 15.0;
    mainFrameAt(pastCycle);
    EXPECT_GT(creditsScroll, 2200.0f);
    EXPECT_FLOAT_EQ(scrollWrapOffset, -creditsScroll);
    texts = mainFrameAt(pastCycle + 1.02);
    EXPECT_NEAR(creditsScroll, 15.3f, 1e-3);
    EXPECT_EQ(texts[1].y, 464.0f);
    // And the second cycle wraps like the first.
    mainFrameAt(pastCycle * 2.0);
    EXPECT_NEAR(creditsScroll, 2200.3f, 0.01f);
    EXPECT_NEAR(scrollWrapOffset, -15.0 * pastCycle * 2.0, 0.01);
}

TEST(CreditLines, FitThePanelInTheirLayout)
{
    // The font advances 11 pixels a character and a glyph's ink lies in the left 10 of its
    // cell: from x = 295, the last character of a line must start by 640 - 10 - 295 =
    // 335 pixels in, which 31 characters do (11 x 30 = 330) and 32 do not.
    const auto fitsThePanel = [](const char* text) {
        const int last = static_cast<int>(std::strlen(text)) - 1;
        return creditsLeft + 11 * last + 10 <= 640;
    };
    EXPECT_TRUE(fitsThePanel("-------------------------------"));
    EXPECT_FALSE(fitsThePanel("--------------------------------"));
    EXPECT_EQ(creditLines[0].baseOffset, 480.0f);
    EXPECT_EQ(creditLines[creditLineCount - 1].baseOffset + 20.0f, creditsCycle);
    for (int i = 0; i < creditLineCount; ++i) {
        const CreditLine& line = creditLines[i];
        EXPECT_TRUE(fitsThePanel(line.text)) << "line " << i + 1 << ": \"" << line.text << '"';
        for (const char* c = line.text; *c != '\0'; ++c) {
            EXPECT_TRUE(*c >= 32 && *c < 127) << "line " << i + 1 << " has a character the font lacks";
        }
        if (i > 0) {
            // The title's four lines 40 apart, then blocks of lines 20 apart with one
            // empty line between them.
            const float step = line.baseOffset - creditLines[i - 1].baseOffset;
            if (i < 4) {
                EXPECT_EQ(step, 40.0f) << "line " << i + 1;
            } else {
                EXPECT_TRUE(step == 20.0f || step == 40.0f) << "line " << i + 1;
            }
        }
    }
    EXPECT_STREQ(creditLines[56].text, "-------------------------------");
    EXPECT_STREQ(creditLines[60].text, creditLines[56].text);

    // The two words of the site's name in brackets of one width, one above the other.
    const std::string dolven = creditLines[6].text;
    const std::string quarn = creditLines[7].text;
    EXPECT_NE(dolven.find("[Dolven]"), std::string::npos);
    EXPECT_EQ(quarn.find('['), dolven.find('['));
    EXPECT_EQ(quarn.find(']'), dolven.find(']'));
    EXPECT_NE(quarn.find("Quarn"), std::string::npos);
    EXPECT_EQ(std::string(creditLines[62].text).rfind("Code    :   ", 0), 0u);
    EXPECT_EQ(std::string(creditLines[63].text).rfind("Music   :   ", 0), 0u);
}

// Pixels of rendered frames: the title's texts over the frame colour.
TEST_F(ShowTest, TheTitleFrameShowsItsTextsOverTheFrameColour)
{
    frameAt(3.0);
    const auto brightIn = [&](int left, int top, int right, int bottom) {
        int bright = 0;
        for (int y = top; y < bottom; ++y) {
            for (int x = left; x < right; ++x) {
                bright += context.pixel(x, y).r > 200 ? 1 : 0;
            }
        }
        return bright;
    };
    EXPECT_GT(brightIn(40, 40, 117, 56), 60) << "Velmora";
    EXPECT_GT(brightIn(350, 400, 537, 416), 150) << "Dolven Quarn 1000";
    for (int y = 100; y < 360; y += 13) {
        for (int x = 0; x < 640; x += 17) {
            ASSERT_TRUE(nearColour(context.pixel(x, y), background)) << x << ", " << y;
        }
    }
}

// The first main frame: above the sphere and the water the scene left of the line is the
// frame colour, though the layers' rectangles reach there; they show only in the panel.
TEST_F(ShowTest, TheMainFrameKeepsTheLayersInThePanel)
{
    enterMainPhase();
    mainFrameAt(0.0);
    // The line runs along the left edge of column 289; which of the two columns it
    // touches a GL takes black is the GL's rule for lines on pixel edges (Mesa takes 288).
    const int separator = context.pixel(288, 240).r + context.pixel(288, 240).b == 0 ? 288 : 289;
    for (int y = 0; y < 480; y += 7) {
        const OffscreenContext::Rgba line = context.pixel(separator, y);
        ASSERT_EQ(line.r + line.g + line.b, 0) << "the separator at y = " << y;
        ASSERT_TRUE(nearColour(context.pixel(separator - 1, y), background)) << "one pixel wide, at y = " << y;
    }
    for (int y = 50; y < 150; y += 3) {
        for (int x = 100; x < separator; x += 3) {
            ASSERT_TRUE(nearColour(context.pixel(x, y), background)) << x << ", " << y;
        }
        // The panel adds its tint and the layers theirs.
        const OffscreenContext::Rgba panel = context.pixel(300, y);
        EXPECT_GT(panel.b, background.b + 40) << y;
        EXPECT_GT(panel.r, background.r + 40) << y;
    }

    // The bar: the banner's top, opaque, between x = 10 and 260 in the top 40 rows.
    int changed = 0;
    for (int y = 0; y < 40; ++y) {
        for (int x = 10; x < 260; ++x) {
            changed += nearColour(context.pixel(x, y), background) ? 0 : 1;
        }
        EXPECT_TRUE(nearColour(context.pixel(5, y), background)) << y;
        EXPECT_TRUE(nearColour(context.pixel(262, y), background)) << y;
    }
    EXPECT_GT(changed, 250 * 40 * 9 / 10);
}

// The first main frame's sampled pixels, drawn from the show's start in the current
// context; `stencilAssumed` overrides what the set-up found.
std::vector<OffscreenContext::Rgba> firstMainFrame(const OffscreenContext& context, bool stencilAssumed)
{
    if (!startShow()) {
        return {};
    }
    renderWindow.hasStencil = stencilAssumed;
    testClock::setSeconds(4.5);
    DrawFrame();
    testClock::setSeconds(4.5);
    DrawFrame();
    return sampledPixels(context);
}


// A pixel format may come without the stencil buffer that clips the layers to the
// panel; the frame must look the same, and with the layers clipped some other way it
// does: drawn as if there were a stencil buffer, they spill over the scene.
TEST(ShowWithoutStencil, ShowsTheFrameOfAContextWithStencil)
{
    std::vector<OffscreenContext::Rgba> withStencil;
    {
        OffscreenContext context;
        withStencil = firstMainFrame(context, true);
        EXPECT_TRUE(renderWindow.hasStencil);
    }
    ASSERT_EQ(withStencil.size(), 320u * 240u);

    OffscreenContext bare(640, 480, 0);
    ASSERT_TRUE(startShow());
    EXPECT_FALSE(renderWindow.hasStencil) << "the set-up finds that the context has none";
    EXPECT_EQ(differingPixels(firstMainFrame(bare, false), withStencil), 0);
    const int spilled = differingPixels(firstMainFrame(bare, true), withStencil);
    EXPECT_GT(spilled, 320 * 240 / 5) << "unclipped layers cover the scene left of the line";
    renderWindow.hasStencil = true;
}

// Ten seconds in: the caption's letters at the bottom left and the first credit line
// in the panel at y = 480 - 150, brighter than the empty line below it.
TEST_F(ShowTest, TheCaptionAndTheCreditsShowInTheirPlaces)
{
    enterMainPhase();
    for (int frame = 0; frame <= 600; frame += 4) {
        mainFrameAt(frame / 60.0);
    }
    ASSERT_EQ(creditsScroll, 150.0f);
    // Pixels whose red passes `red`: half the font's white is added to the scene.
    const auto count = [&](int red, int left, int top, int right, int bottom) {
        int found = 0;
        for (int y = top; y < bottom; ++y) {
            for (int x = left; x < right; ++x) {
                found += context.pixel(x, y).r > red ? 1 : 0;
            }
        }
        return found;
    };
    const int caption = count(140, 0, 450, 286, 466);
    EXPECT_GT(caption, 200) << "the address";
    EXPECT_GT(caption, 5 * count(140, 0, 466, 286, 480)) << "the water below it";
    const int firstLine = count(250, 295, 330, 636, 346);
    EXPECT_GT(firstLine, 50) << "-/- Velmora -/-";
    EXPECT_GT(firstLine, 4 * count(250, 295, 348, 636, 368)) << "the empty line after it";
}

} // namespace
