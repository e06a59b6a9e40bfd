#pragma once
// Win32 timers on the application kit's run loop, and the queue by which other
// threads hand timer requests to the main thread.
//
// Threads: SetTimer and KillTimer may be called on any thread. On the main thread
// (the kit's) they act at once; on another thread the request is queued and made
// at the queue's next flush on the main thread, so every timer is created, fired
// and stopped on the main thread. The queue exists once a program installed an
// application delegate that ticks it (app_delegate.h) and called
// SWELL_Internal_PostMessage_Init; without it SetTimer from other threads fails.
// SWELL_MessageQueue_Flush and the run-loop helpers are main-thread only.

#include "winsys/swell-types.h"


const UINT WM_TIMER = 0x0113;
// The id that KillTimer reads as "every timer of the window".
const UINT_PTR SWELL_ALL_TIMERS = ~(UINT_PTR)0;

typedef void (*TIMERPROC)(HWND hwnd, UINT msg, UINT_PTR id, DWORD tickCount);

// The timer's id, or 0. Without a window the id is chosen here (a timer of its own
// each call); with one, the same window and id replace the earlier timer. A window's
// timers belong to its window view: hwnd must be one, or a top-level window whose
// content view is one (a window and its content view share their timers), else 0.
// The callback is handed the view's handle; without a callback the view gets
// WM_TIMER (id, 0) itself.
// From another thread: the request is queued and the id returned (a window-less
// timer's id is chosen at once, so it can be killed before the timer starts); 0
// without the queue, and for the id SWELL_ALL_TIMERS.
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT ms, TIMERPROC proc);
// True when a timer was removed, or the request was queued from another thread.
// Without the queue (a plug-in's host) another thread removes the timer at once:
// no callback of it starts afterwards, and one running on the main thread ends
// before the call answers (so that callback must not wait for this thread).
// SWELL_ALL_TIMERS removes every timer of hwnd, at once on any thread, alike. A
// top-level window's handle reaches its content view's timers.
bool KillTimer(HWND hwnd, UINT_PTR id);

// Main thread: sets up the queue once, when the application's delegate answers
// swellPostMessageTick: (else nothing): records the main thread and has a repeating
// 0.05 s timer call the delegate's tick, which is to flush the queue.
void SWELL_Internal_PostMessage_Init();
// Any thread: queues the message for a window view, delivered on the main thread as
// SendMessage delivers it. False without the queue, while 1024 messages wait and
// none was handed back yet, and for a handle that names no window. On the main thread also false for a
// window that takes no posts (being destroyed, or not a window view); another
// thread never touches the window, which the main thread may be freeing, so there
// the main thread drops such a message when it would deliver it.
bool SWELL_Internal_PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Any thread: the application delegate's swellPostMessage:msg:wp:lp: answer, or
// false when there is no delegate or it does not answer that call.
bool PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Has the application delegate drop what was queued for the window (its
// swellPostMessageClearQ:); nothing without one.
void SWELL_MessageQueue_Clear(HWND hwnd);
// Main thread: makes every queued request, in order; requests queued meanwhile wait.
// Nothing on another thread.
void SWELL_MessageQueue_Flush();
// Drops the window's queued messages and timer requests (all of them for null),
// including those of a flush under way that were not delivered yet.
void SWELL_Internal_PMQ_ClearAllMessages(HWND hwnd);
// Requests and messages waiting in the queue (a diagnostic for tests).
int SWELL_Internal_PMQ_QueuedCount();

// Main thread: runs the run loop for ms milliseconds of its clock; the Ex form lets
// only hwnd's timers fire meanwhile.
void SWELL_RunRunLoop(int ms);
void SWELL_RunRunLoopEx(int ms, HWND hwnd);
// When set, only the timers of that window fire (the others wait); a program may
// set it around a run of its own as SWELL_RunRunLoopEx does. Main thread.
extern HWND g_swell_only_timerhwnd;
