#pragma once
// One window message as a test recorded it, comparable and printable, for the
// window-layer tests that log what windows are sent.

#include "winsys/swell-types.h"

#include <ostream>

struct LoggedMsg
{
  HWND hwnd;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
  bool operator==(const LoggedMsg& o) const
  {
    return hwnd == o.hwnd && msg == o.msg && wParam == o.wParam && lParam == o.lParam;
  }
};

inline std::ostream& operator<<(std::ostream& os, const LoggedMsg& m)
{
  return os << "{" << (void*)m.hwnd << " 0x" << std::hex << m.msg << " " << m.wParam << " " << std::dec << m.lParam
            << "}";
}
