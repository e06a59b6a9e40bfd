#pragma once
// The system-exclusive value lists of one sysex element of the configuration.

#include <string>
#include <vector>

// One list of texts in document order.
typedef std::vector<std::string> Values;

struct SysExContainer
{
  // One list per child element that has plain value children.
  std::vector<Values> values;
  // One group per child element without plain value children: a list per multivalue.
  std::vector<std::vector<Values>> multiValues;
  bool hasMultiValues = false;
};
