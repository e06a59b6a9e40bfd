#pragma once
// Standard output as the tests read it: the console's lines are written by the
// logger thread, so a capture begins and ends once what was handed over is out.
// A failure reported while the console is captured writes its text into the
// capture: the capture's end shows it again on standard error, so a failure always
// says why.

#include "base/ConsoleLogger.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace console_capture {
// The current test's reported failures and other parts so far.
inline int PartsReported()
{
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  return test ? test->result()->total_part_count() : 0;
}
inline int& PartsAtStart()
{
  static int parts = 0;
  return parts;
}
inline bool capturing = false;
// A test that ends inside a capture (a failed assertion returned from it) has the
// capture ended here, and shown.
struct EndAtTestEnd : testing::EmptyTestEventListener
{
  void OnTestEnd(const testing::TestInfo&) override
  {
    if (!capturing) return;
    capturing = false;
    std::fprintf(stderr, "---- the test ended while the console was captured; the capture:\n%s\n---- end of the capture\n",
                 testing::internal::GetCapturedStdout().c_str());
  }
};
} // namespace console_capture

inline void CaptureConsole()
{
  static const bool listening = (testing::UnitTest::GetInstance()->listeners().Append(new console_capture::EndAtTestEnd), true);
  (void)listening;
  ConsoleLogWritten(30000, 30000);
  console_capture::PartsAtStart() = console_capture::PartsReported();
  testing::internal::CaptureStdout();
  console_capture::capturing = true;
}

inline std::string CapturedConsole()
{
  ConsoleLogWritten(30000, 30000);
  console_capture::capturing = false;
  std::string text = testing::internal::GetCapturedStdout();
  if (console_capture::PartsReported() > console_capture::PartsAtStart())
    std::fprintf(stderr, "---- a failure was reported while the console was captured; the capture:\n%s\n---- end of the capture\n",
                 text.c_str());
  return text;
}
