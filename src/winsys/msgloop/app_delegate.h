#pragma once
// The application delegate a program that hosts the layer installs
// (NSApp->setDelegate, then SWELL_Internal_PostMessage_Init on the main thread):
// PostMessage goes to the layer's queue, a window's destruction clears what was
// queued for it, and the queue's tick flushes it on the main thread. Without such a
// delegate (a plug-in's host) PostMessage answers false and timers are only set
// and killed on the main thread.

#include "platform/appkit/NSApplication.h"

class SWELL_PostMessageDelegate : public NSApplicationDelegate
{
public:
  bool respondsToSelector(SEL call) const override;
  // Any thread.
  bool swellPostMessage(HWND__* dest, unsigned msg, uintptr_t wp, intptr_t lp) override;
  void swellPostMessageClearQ(HWND__* h) override;
  // Main thread.
  void swellPostMessageTick(NSTimer* timer) override;
};
