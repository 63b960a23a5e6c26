#include <gtest/gtest.h>

#include <windows.h>

#include "platform/cursor_control.h"
#include "platform/frame_timer.h"

namespace {

TEST(FrameTimerTest, SystemClockCountsSeconds)
{
    FrameTimer timer;
    ASSERT_GT(timer.frequency, 0);
    timer.start();
    Sleep(50);
    const long double first = timer.elapsed();
    // Seconds, not counts or milliseconds: a 50 ms sleep reads as a twentieth of one.
    EXPECT_GE(first, 0.045L);
    EXPECT_LT(first, 5.0L);
    Sleep(10);
    EXPECT_GT(timer.elapsed(), first);
    timer.stop();
    const long double stopped = timer.elapsed();
    Sleep(10);
    EXPECT_EQ(timer.elapsed(), stopped);
}

// The pointer's display counter, read without changing it.
int cursorCounter()
{
    const int raised = ShowCursor(TRUE);
    ShowCursor(FALSE);
    return raised - 1;
}

TEST(CursorControlTest, ShowAndHidePairUpOnTheCounter)
{
    const int start = cursorCounter();
    cursorControl.show(false);
    EXPECT_EQ(cursorCounter(), start - 1);
    cursorControl.show(false);
    EXPECT_EQ(cursorCounter(), start - 2);
    cursorControl.show(true);
    cursorControl.show(true);
    EXPECT_EQ(cursorCounter(), start);
}

TEST(CursorControlTest, MoveToUsesScreenCoordinates)
{
    cursorControl.moveTo(320, 240);
    POINT point = {};
    ASSERT_TRUE(GetCursorPos(&point));
    EXPECT_EQ(point.x, 320);
    EXPECT_EQ(point.y, 240);
    cursorControl.moveTo(17, 5);
    ASSERT_TRUE(GetCursorPos(&point));
    EXPECT_EQ(point.x, 17);
    EXPECT_EQ(point.y, 5);
}

} // namespace
