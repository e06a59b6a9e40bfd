#pragma once
// Standard output as the tests read it: the console's lines are written by the
// logger thread, so a capture begins and ends once what was handed over is out.

#include "base/ConsoleLogger.h"

#include <gtest/gtest.h>

#include <string>

inline void CaptureConsole()
{
  ConsoleLogWritten(30000, 30000);
  testing::internal::CaptureStdout();
}

inline std::string CapturedConsole()
{
  ConsoleLogWritten(30000, 30000);
  return testing::internal::GetCapturedStdout();
}
