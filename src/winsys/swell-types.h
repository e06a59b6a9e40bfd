#pragma once
// The Win32-style scalar types, handles and small records the window-system
// layer shares with its callers. Kept to what more than one part of the layer
// needs; each part declares its own records beside its functions.

#include <cstdint>

typedef signed char BOOL;  // the layer's BOOL is 8 bits wide, signed
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef unsigned int UINT;
typedef void* LPVOID;

// Windows and messages: a window handle is an object of the application kit (a view
// or a window); message parameters are pointer-sized.
struct HWND__;
typedef HWND__* HWND;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef intptr_t LONG_PTR;
typedef uintptr_t UINT_PTR;
typedef LRESULT (*WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef WNDPROC DLGPROC;

// A kernel object: thread, event, file, socket, process (see winsys/kernel.h).
typedef void* HANDLE;

// A loaded library (see LoadLibrary in winsys/kernel.h).
struct SWELL_HINSTANCE;
typedef SWELL_HINSTANCE* HINSTANCE;
typedef HINSTANCE HMODULE;

struct RECT
{
  int32_t left, top, right, bottom;
};

struct POINT
{
  int32_t x, y;
};

// 100-nanosecond intervals since 1601-01-01 UTC.
struct FILETIME
{
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

struct GUID
{
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
