#pragma once
// Window handles. A handle names one kit object (a view or a window) for as long
// as the object lives and is never handed out again after it is gone, so a handle
// kept past its window's destruction answers no object, even when the memory of
// the old object now holds a new window. Any thread may look handles up.

#include "winsys/swell-types.h"

#include <cstddef>

class NSObject;

// The object's handle (made at the first request); null for null.
HWND SWELL_HandleOfObject(NSObject* o);
// The object a handle names; null for null, unknown and outlived handles.
NSObject* SWELL_ObjectOfHandle(HWND h);
// Values kept by key for the object of a handle (the window data of objects that
// keep none themselves), gone with the object. Get: false when the key was never
// set or the handle names nothing. Set: false (nothing kept) for a handle that
// names nothing; *old gets the previous value, 0 when there was none.
bool SWELL_GetHandleValue(HWND h, int key, LONG_PTR* value);
bool SWELL_SetHandleValue(HWND h, int key, LONG_PTR value, LONG_PTR* old);
// Objects with a handle (a diagnostic for tests).
size_t SWELL_HandleCount();
