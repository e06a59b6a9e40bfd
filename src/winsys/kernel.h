#pragma once
// Win32 kernel services of the window-system layer: sleeping and the
// millisecond clock, kernel handles (threads, events, files, socket events,
// processes) with CloseHandle and the wait functions, rectangle helpers,
// movable global memory, bounded string copy, loadable libraries and GUIDs.
//
// Failures are reported by results only (FALSE, 0, null, -1 or WAIT_TIMEOUT);
// null, closed and wrong-kind handles make a call do nothing and fail.
// Every function may be called from any thread.

#include "winsys/swell-types.h"

#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0u
#define WAIT_TIMEOUT 258u
#define WAIT_FAILED 0xFFFFFFFFu

typedef DWORD (*LPTHREAD_START_ROUTINE)(LPVOID param);

// ---- Time ---------------------------------------------------------------
//
// Every millisecond count of this layer (Sleep, GetTickCount, the time-outs
// of the wait functions) runs on one process-wide time scale s, 1 unless
// changed: Sleep(ms) sleeps ms * s real milliseconds and GetTickCount
// advances 1/s times as fast as real time, so a protocol's long waits can be
// tested in milliseconds without changing any waiting logic. The environment
// variable DAVREL_TIME_SCALE (a decimal number within the limits below) sets
// s when the process starts; a value that does not parse is ignored with a
// line on standard output.

// Blocks the calling thread for ms milliseconds of the scaled clock. Sleep(0),
// and any negative count, gives up the processor for 100 real microseconds.
// Signals do not shorten the sleep. Takes no lock.
void Sleep(int ms);

// Milliseconds of a monotonic clock (the scaled clock), truncated to 32 bits:
// wraps to 0 after 0xFFFFFFFF, about every 49.7 days at scale 1. Compare two
// counts by unsigned difference. Takes no lock.
DWORD GetTickCount();

#define SWELL_TIME_SCALE_MIN 1e-6
#define SWELL_TIME_SCALE_MAX 1e6

// Sets the time scale s (tests and the simulated-synthesizer scenarios).
// GetTickCount continues from its current count without a jump. Returns false,
// changing nothing, for a value that is not finite or lies outside
// [SWELL_TIME_SCALE_MIN, SWELL_TIME_SCALE_MAX].
bool SWELL_SetTimeScale(double scale);
double SWELL_GetTimeScale();

// Makes GetTickCount return ticks now and count on from there (tests of
// time-outs across the 32-bit wrap).
void SWELL_SetTickCount(DWORD ticks);

// ---- Threads and kernel handles -----------------------------------------

// The calling thread's identity: unique among the threads alive at the time
// and the same value CreateThread reports through tid.
DWORD GetCurrentThreadId();

// Starts proc(param) on a new thread. attrs, stackSize and flags are ignored.
// tid, when given, receives the new thread's GetCurrentThreadId(). Close the
// handle when done with it; the thread keeps running and frees its share of
// the handle when it ends. Null for a null proc or when no thread can start.
HANDLE CreateThread(void* attrs, DWORD stackSize, LPTHREAD_START_ROUTINE proc, LPVOID param, DWORD flags, DWORD* tid);

// Scheduling priority priority + 31, clamped to the thread's policy, for a
// thread that has not finished. TRUE on success.
BOOL SetThreadPriority(HANDLE thread, int priority);

// Events: manual reset stays signalled until ResetEvent; auto reset releases
// one wait and clears itself. attrs and name are ignored.
HANDLE CreateEvent(void* attrs, BOOL manualReset, BOOL initialState, const char* name);
// The same on a local socket pair, so that WaitForAnySocketObject can wait on
// it beside other sockets. Null when no socket pair can be made.
HANDLE CreateEventAsSocket(void* attrs, BOOL manualReset, BOOL initialState, const char* name);
// TRUE for an event or socket event, FALSE for any other handle.
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

// WAIT_OBJECT_0 when the object is signalled (a finished thread, a set event,
// a readable socket, an ended process), WAIT_TIMEOUT when ms milliseconds
// passed first, WAIT_FAILED for a null, closed or wrong handle. ms INFINITE
// waits without limit; ms 0 only checks. A time-out is a fixed deadline that
// wake-ups without a signal do not extend. A finished thread is joined once;
// later waits on it return WAIT_OBJECT_0.
DWORD WaitForSingleObject(HANDLE h, DWORD ms);

// Waits until one of the socket events or external sockets among handles is
// readable: the index of the first ready one, WAIT_TIMEOUT when none is ready
// within ms (or none of the handles is a socket), WAIT_FAILED when a socket
// is closed underneath.
DWORD WaitForAnySocketObject(int count, HANDLE* handles, DWORD ms);

// Drops one reference; the last one releases the object (joins a finished
// thread, closes a stream or socket pair). FALSE for a null, closed or
// wrong-kind handle, and for external sockets, which their maker frees.
BOOL CloseHandle(HANDLE h);

// ---- File handles ---------------------------------------------------------
// No operation of this layer opens a file: CreateFile always returns null. The
// functions below serve file handles made elsewhere in the layer. Positions
// are limited to 32 bits.

HANDLE CreateFile(const char* name, DWORD access, DWORD share, void* security, DWORD creation, DWORD flags, HANDLE templateFile);
// Seeks to the absolute position pos (unsigned when high is given, else
// signed). A non-zero *high, a negative position or a failed seek returns
// 0xFFFFFFFF and sets *high (when given) to -1.
DWORD SetFilePointer(HANDLE file, LONG pos, LONG* high);
// The position: low 32 bits returned, high 32 bits in *high. Failure returns
// 0xFFFFFFFF with *high = 0xFFFFFFFF.
DWORD GetFilePointer(HANDLE file, DWORD* high);
// The size: low 32 bits returned, high 32 bits in *high. Failure as above.
DWORD GetFileSize(HANDLE file, DWORD* high);
// One read or write of n bytes; *done (when given) receives the bytes moved.
// TRUE when any byte moved; FALSE for n = 0, a null buffer or a wrong handle.
BOOL ReadFile(HANDLE file, void* buf, DWORD n, DWORD* done);
BOOL WriteFile(HANDLE file, const void* buf, DWORD n, DWORD* done);

// Times of an open descriptor from fstat, in whole seconds: creation gets the
// status-change time, access the access time, write the modification time.
// Any of the three may be null. FALSE for a negative or failing descriptor.
BOOL GetFileTime(int fd, FILETIME* creation, FILETIME* access, FILETIME* write);

// ---- Arithmetic, rectangles, strings ---------------------------------------

// a * b / c in double precision, truncated toward zero; 0 when c is 0 and -1
// when the result does not fit an int.
int MulDiv(int a, int b, int c);
// Floating-point control has no effect here: returns 0.
unsigned int _controlfp(unsigned int newValue, unsigned int mask);

// left <= x < right and min(top, bottom) <= y < max(top, bottom).
BOOL SWELL_PtInRect(const RECT* r, POINT p);
BOOL WinOffsetRect(RECT* r, int dx, int dy);
BOOL WinSetRect(RECT* r, int left, int top, int right, int bottom);
// dst becomes the intersection of a and b and the result TRUE when it is
// non-empty; otherwise (also when a or b is empty: right <= left or
// bottom <= top) dst becomes all zero and the result FALSE. dst may be a or b.
BOOL WinIntersectRect(RECT* dst, const RECT* a, const RECT* b);
// The smallest rectangle holding both corners of both; empty inputs count.
void WinUnionRect(RECT* dst, const RECT* a, const RECT* b);

// Copies at most n - 1 bytes of src and always ends dst with a NUL; n < 1
// leaves dst untouched. A null src copies as an empty string. Returns dst.
char* lstrcpyn(char* dst, const char* src, int n);

// ---- Movable global memory ---------------------------------------------------
// A block of size bytes (contents not cleared) whose handle is the address
// of its data. flags are ignored. Null for a negative size or when memory runs out.
HANDLE GlobalAlloc(int flags, int size);
void* GlobalLock(HANDLE mem);
void GlobalUnlock(HANDLE mem);
int GlobalSize(HANDLE mem);
void GlobalFree(HANDLE mem);

// ---- Loadable libraries ----------------------------------------------------
// A library may export the entry points
//   extern "C" int SWELL_dllMain(HINSTANCE, DWORD reason, LPVOID)
//   extern "C" BOOL DllMain(HINSTANCE, DWORD reason, LPVOID)
// called with reason 1 when first loaded (0 or FALSE refuses the load) and 0
// when the last reference goes; DllMain is called only beside SWELL_dllMain.

typedef int (*SWELL_dllMain_proc)(HINSTANCE instance, DWORD reason, LPVOID reserved);
typedef BOOL (*SWELL_DllMain_proc)(HINSTANCE instance, DWORD reason, LPVOID reserved);

// Loads the shared object at path (symbols resolved now, kept local unless
// globals), or for a bundle folder (see CFBundle.h) the executable its info
// file names. Loading one library again (the same file, or the same bundle)
// returns the same instance with one more reference. Null for a null or empty
// path, a failed load, a bundle whose executable does not load or a refusing
// entry point.
HINSTANCE LoadLibraryGlobals(const char* path, bool globals);
HINSTANCE LoadLibrary(const char* path);
void* GetProcAddress(HINSTANCE instance, const char* name);
// Drops one reference; the last calls the entry points with reason 0 and
// unloads. TRUE for a loaded instance.
BOOL FreeLibrary(HINSTANCE instance);
// The file of a loaded library (the folder of one loaded through its bundle),
// or for a null instance the folder of the running program. Copies at most size - 1 bytes and a NUL into buf; returns
// the length copied (0 when unknown).
DWORD GetModuleFileName(HINSTANCE instance, char* buf, DWORD size);

// ---- GUIDs -------------------------------------------------------------------
// Fills *g with a new random (version 4) UUID, bytes in the UUID's own order.
void SWELL_GenerateGUID(GUID* g);
