#pragma once
// The sending record of one parameter: how a new value leaves the editor as MIDI
// (nothing, a control change, an NRPN or a system-exclusive message), which timbre
// it addresses, which controls show the parameter and which parameter it is linked
// to. The control factories create or rewrite it while the configuration is read;
// the controller sends from it.

#include "config/UIConfigManager.h"

#include <atomic>
#include <vector>

class IControl;
class ControlLayer;

enum ControlActionType
{
  kActionNone = 0,
  kActionCC = 1,
  kActionCCSwitch = 2,
  kActionNRPN = 3,
  kActionSysExSwitch = 5,
  kActionSysEx = 6
};

// The precomputed system-exclusive bodies of a parameter (without F0 and F7), one
// per value from the lowest, or a list per value.
struct ControlActionSysExMessage
{
  bool multiMessage = false;
  std::vector<std::vector<int>> messages;
  std::vector<std::vector<std::vector<int>>> multiMessages;
};

struct ControlAction
{
  explicit ControlAction(int type) : actionType(type) {}

  // Written by the sender under the plug-in's mutex and reset from the MIDI input
  // thread, so it is atomic.
  std::atomic<double> lastValue{-1.0};
  int part = -1;
  int actionType;
  int ccNumber = -1;
  int msbValue = -1;
  int valueOffset = -1;
  int lsbValue = -1;
  int channelKey = -1;
  int subKey = -1;
  std::vector<IControl*> controls;
  LinkInfo linkInfo;
  ControlLayer* valueLayer = nullptr;
  ControlActionSysExMessage sysExMessage;
  int offValue = -1;
  int onValue = -1;
  // The parameter value the first message of the table stands for: the tables are
  // built from the parameter's minimum, so a value finds its message at
  // value - sysExFirstValue, not at the raw value.
  int sysExFirstValue = 0;

  // The message that a parameter value sends, or null when the table has none for
  // it (also for an empty table).
  const std::vector<int>* sysExMessageForValue(int value) const
  {
    const long long index = (long long)value - sysExFirstValue;
    if (index < 0 || index >= (long long)sysExMessage.messages.size()) return nullptr;
    return &sysExMessage.messages[(size_t)index];
  }
  // The same for a value that sends several messages; null when there is no list.
  const std::vector<std::vector<int>>* sysExMessagesForValue(int value) const
  {
    const long long index = (long long)value - sysExFirstValue;
    if (index < 0 || index >= (long long)sysExMessage.multiMessages.size()) return nullptr;
    return &sysExMessage.multiMessages[(size_t)index];
  }
};
