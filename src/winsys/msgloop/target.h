#pragma once
// What a window of the layer answers to take posted messages and timers without a
// callback (the window views do). Main thread only.

#include "winsys/swell-types.h"

class SWELL_WindowTarget
{
public:
  virtual ~SWELL_WindowTarget() = default;
  // False once the window is being destroyed: nothing more may be queued for it.
  virtual bool swellCanPostMessage() = 0;
  virtual LRESULT onSwellMessage(UINT msg, WPARAM wParam, LPARAM lParam) = 0;
  // A timer of the window fired.
  virtual void SWELL_Timer(UINT_PTR id) = 0;
  // The context of a paint under way, which GetDC hands out; null otherwise.
  virtual struct HDC__* swellPaintContext() { return nullptr; }
};
