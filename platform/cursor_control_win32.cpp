#include <windows.h>

#include "platform/cursor_control.h"

CursorControl::~CursorControl() = default;

void CursorControl::show(bool visible)
{
    ShowCursor(visible ? TRUE : FALSE);
}

void CursorControl::moveTo(int x, int y)
{
    SetCursorPos(x, y);
}
