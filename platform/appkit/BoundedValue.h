// The range and value of a slider or progress indicator.
#pragma once

#include <algorithm>

// The value stays within [min, max]; a bound set past the other one moves it along,
// so the range is never empty the wrong way round.
struct AKBoundedValue
{
  double value, min, max;

  void set(double v) { value = std::max(min, std::min(max, v)); }
  void setMin(double v)
  {
    min = v;
    if (max < min) max = min;
    set(value);
  }
  void setMax(double v)
  {
    max = v;
    if (min > max) min = max;
    set(value);
  }
  // Where the value stands in the range, 0 to 1 (0 for an empty range).
  double fraction() const { return max > min ? (value - min) / (max - min) : 0; }
};
