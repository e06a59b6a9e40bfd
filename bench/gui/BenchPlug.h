#pragma once
// A quiet plug-in for the drawing benchmarks: it answers the host questions with
// fixed values and sends nothing.

#include "tests/QuietPlug.h"

class BenchPlug : public QuietPlug
{
public:
  // With knobParams, every parameter is a 0..127 knob value.
  BenchPlug(int nParams, bool knobParams)
    : QuietPlug(nParams, "2-2", 0, "Davrel Editor", "", "Quiet Harbor Sound", 0x20008, 0, 0, 0, true, true, true,
                kAPIAU)
  {
    initialize(0, nParams, "2-2", 0, "Davrel Editor", "", "Quiet Harbor Sound", 0x20008, 0, 0, 0, true, true, true);
    if (knobParams)
      for (int i = 0; i < nParams; ++i) GetParam(i)->InitDouble("p", 0.0, 0.0, 127.0, 1.0);
  }
};
