#pragma once
// Window and control handles a Carbon view is created in.

typedef struct OpaqueWindowPtr* WindowRef;
typedef struct OpaqueControlRef* ControlRef;
