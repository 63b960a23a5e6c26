#include <gtest/gtest.h>

#include "platform/frame_timer.h"
#include "tests/host/test_clock.h"

namespace {

class FrameTimerTest : public testing::Test {
protected:
    void SetUp() override { testClock::setSeconds(1000.0); }

    FrameTimer timer{TickSource{testClock::frequency, testClock::read}};
};

TEST_F(FrameTimerTest, CountsFromStartAndFreezesWhenStopped)
{
    EXPECT_FALSE(timer.running);
    timer.start();
    EXPECT_TRUE(timer.running);
    EXPECT_EQ(timer.elapsed(), 0.0L);

    testClock::setSeconds(1000.25);
    EXPECT_DOUBLE_EQ(static_cast<double>(timer.elapsed()), 0.25);

    timer.stop();
    EXPECT_FALSE(timer.running);
    testClock::setSeconds(1003.0);
    EXPECT_DOUBLE_EQ(static_cast<double>(timer.elapsed()), 0.25);
    EXPECT_DOUBLE_EQ(static_cast<double>(timer.elapsed()), 0.25);

    // A second stop keeps the first stop's time.
    timer.stop();
    EXPECT_DOUBLE_EQ(static_cast<double>(timer.elapsed()), 0.25);
}

TEST_F(FrameTimerTest, RestartBeginsAgainFromZero)
{
    timer.start();
    testClock::setSeconds(1004.5);
    timer.tick();
    timer.stop();
    timer.start();
    EXPECT_EQ(timer.elapsed(), 0.0L);
    EXPECT_EQ(timer.lastFrameTime, 0.0f);
    EXPECT_EQ(timer.framesCounted, 0);

    testClock::setSeconds(1004.5 + 1e-6);
    EXPECT_NEAR(static_cast<double>(timer.elapsed()), 1e-6, 1e-12) << "one count of the counter";
}

TEST_F(FrameTimerTest, FrameRateRefreshesEveryThirtyFirstFrameAtSixtyHertz)
{
    timer.start();
    std::vector<int> refreshes;
    float previousRate = timer.framesPerSecond;
    for (int frame = 1; frame <= 100; ++frame) {
        testClock::setSeconds(1000.0 + frame / 60.0);
        timer.tick();
        EXPECT_NEAR(timer.frameTime, 1.0f / 60.0f, 1e-5f) << "frame " << frame;
        if (timer.framesPerSecond != previousRate) {
            refreshes.push_back(frame);
            EXPECT_NEAR(timer.framesPerSecond, 60.0f, 0.01f) << "frame " << frame;
            previousRate = timer.framesPerSecond;
        }
    }
    // 31 frames make the first window; later ones begin at a single-precision sum of
    // frame times, so a window of exactly 30 frames may already exceed half a second.
    ASSERT_GE(refreshes.size(), 3u);
    EXPECT_EQ(refreshes[0], 31);
    for (std::size_t i = 1; i < refreshes.size(); ++i) {
        const int gap = refreshes[i] - refreshes[i - 1];
        EXPECT_TRUE(gap == 30 || gap == 31) << "gap " << gap;
    }
}

TEST_F(FrameTimerTest, FrameRateFollowsTheFrameTimes)
{
    timer.start();
    // Frames of 0.1 s: the first refresh comes with the sixth, at 0.6 s.
    for (int frame = 1; frame <= 6; ++frame) {
        testClock::setSeconds(1000.0 + frame * 0.1);
        timer.tick();
    }
    EXPECT_NEAR(timer.framesPerSecond, 10.0f, 1e-3f);
    EXPECT_EQ(timer.framesCounted, 0);
    EXPECT_NEAR(timer.lastRateTime, 0.6f, 1e-6f);
}

} // namespace
