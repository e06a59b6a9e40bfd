#pragma once
// What timers and posted messages reach: a window of the layer (the window views
// answer SWELL_WindowTarget) and the target object of a timer with a callback.
// Main thread only.

#include "platform/appkit/Foundation.h"
#include "winsys/msgloop/timers.h"

class NSTimer;

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

// The target of a timer with a callback: each firing calls
// m_cb(m_hwnd, WM_TIMER, m_timerid, GetTickCount()), unless g_swell_only_timerhwnd
// names another window.
class Swell_vDavrel_64_tft : public NSObject
{
public:
  // window: the top-level window whose content view hwnd is (the two share their
  // timers, so the switch may name either), else null.
  Swell_vDavrel_64_tft* initWithId(UINT_PTR id, HWND hwnd, TIMERPROC cb, HWND window);
  void SWELL_Timer(NSTimer* timer);

  HWND m_hwnd = nullptr;
  TIMERPROC m_cb = nullptr;
  UINT_PTR m_timerid = 0;
  HWND m_window = nullptr;
};
