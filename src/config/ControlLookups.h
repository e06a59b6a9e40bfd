#pragma once
// Lookups from an incoming MIDI address to the control that edits it. Filled while
// the editor is built, then only read by the MIDI handlers on their threads: the
// searches create nothing, so readers need no lock. The controls are not owned.

#include <map>
#include <vector>

class IControl;

// The levels of the nested lookups, innermost first; each holds one map.
struct ccControlMap
{
  std::map<int, IControl*> controls;
};
struct controlID3
{
  std::map<int, ccControlMap> next;
};
struct controlID2
{
  std::map<int, controlID3> next;
};
struct controlID1
{
  std::map<int, controlID2> next;
};

// Control changes: channel key (MIDI channel + 1), CC number, sub-key.
class CCControlContainer
{
public:
  void addToControlMap(int channelKey, int ccNumber, int subKey, IControl* control);
  IControl* findControl(int channelKey, int ccNumber, int subKey) const;
  // Nodes at every level: a search that created entries would change it.
  int size() const;

private:
  std::map<int, controlID3> mControls;
};

// NRPN: channel key, NRPN MSB, value offset, NRPN LSB, sub-key.
class NRPNControlContainer
{
public:
  // Registers under the keys of a control's sending record.
  template <class Action>
  void addToControlMap(const Action* action, IControl* control)
  {
    addToControlMap(action->channelKey, action->msbValue, action->valueOffset, action->lsbValue, action->subKey,
                    control);
  }
  void addToControlMap(int channelKey, int msb, int valueOffset, int lsb, int subKey, IControl* control);
  IControl* findControl(int channelKey, int msb, int valueOffset, int lsb, int subKey) const;
  int size() const;

private:
  std::map<int, controlID1> mControls;
};

// System exclusive: four bytes of the control's first message, then a fifth key
// (0 for every registration and every incoming message).
class SysExControlContainer
{
public:
  // The four key bytes of a message stored without its F0: positions 2 to 5 when
  // the value travels in byte 7 (1-based), else 3 to 6; each the low 8 bits.
  // False, with key untouched, when the message is too short to hold them.
  static bool keyOfMessage(const std::vector<int>& message, int changingByte, unsigned char* key);

  void addToControlMap(const unsigned char* key, unsigned char key5, IControl* control);
  IControl* findControl(int key1, int key2, int key3, int key4, int key5) const;
  int size() const;

private:
  std::map<int, controlID1> mControls;
};
