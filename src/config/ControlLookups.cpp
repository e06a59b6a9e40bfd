#include "config/ControlLookups.h"

#include <cstddef>

namespace {

// Each level is searched without inserting; a missing key ends the search.
template <class Map>
const typename Map::mapped_type* find(const Map& m, int key)
{
  const auto it = m.find(key);
  return it == m.end() ? nullptr : &it->second;
}

IControl* findIn(const ccControlMap* level, int key)
{
  if (!level) return nullptr;
  const auto c = find(level->controls, key);
  return c ? *c : nullptr;
}

const ccControlMap* findIn(const controlID3* level, int key) { return level ? find(level->next, key) : nullptr; }
const controlID3* findIn(const controlID2* level, int key) { return level ? find(level->next, key) : nullptr; }
const controlID2* findIn(const controlID1* level, int key) { return level ? find(level->next, key) : nullptr; }

int nodes(const ccControlMap& level) { return (int)level.controls.size(); }
template <class Level>
int nodes(const Level& level)
{
  int n = (int)level.next.size();
  for (const auto& entry : level.next) n += nodes(entry.second);
  return n;
}
template <class Top>
int topNodes(const Top& top)
{
  int n = (int)top.size();
  for (const auto& entry : top) n += nodes(entry.second);
  return n;
}

}  // namespace

int CCControlContainer::size() const { return topNodes(mControls); }
int NRPNControlContainer::size() const { return topNodes(mControls); }
int SysExControlContainer::size() const { return topNodes(mControls); }

void CCControlContainer::addToControlMap(int channelKey, int ccNumber, int subKey, IControl* control)
{
  mControls[channelKey].next[ccNumber].controls[subKey] = control;
}

IControl* CCControlContainer::findControl(int channelKey, int ccNumber, int subKey) const
{
  return findIn(findIn(find(mControls, channelKey), ccNumber), subKey);
}

void NRPNControlContainer::addToControlMap(int channelKey, int msb, int valueOffset, int lsb, int subKey,
                                           IControl* control)
{
  mControls[channelKey].next[msb].next[valueOffset].next[lsb].controls[subKey] = control;
}

IControl* NRPNControlContainer::findControl(int channelKey, int msb, int valueOffset, int lsb, int subKey) const
{
  return findIn(findIn(findIn(findIn(find(mControls, channelKey), msb), valueOffset), lsb), subKey);
}

bool SysExControlContainer::keyOfMessage(const std::vector<int>& message, int changingByte, unsigned char* key)
{
  const size_t first = changingByte == 7 ? 2 : 3;
  if (message.size() < first + 4) return false;
  for (size_t i = 0; i < 4; ++i) key[i] = (unsigned char)(message[first + i] & 0xFF);
  return true;
}

void SysExControlContainer::addToControlMap(const unsigned char* key, unsigned char key5, IControl* control)
{
  mControls[key[0]].next[key[1]].next[key[2]].next[key[3]].controls[key5] = control;
}

IControl* SysExControlContainer::findControl(int key1, int key2, int key3, int key4, int key5) const
{
  return findIn(findIn(findIn(findIn(find(mControls, key1), key2), key3), key4), key5);
}
