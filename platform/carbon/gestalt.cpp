#include "platform/carbon/Gestalt.h"

#include <map>
#include <mutex>

namespace {

struct GestaltTable
{
  std::mutex lock;
  std::map<OSType, SInt32> values{
      {gestaltSystemVersion, 0x1068},
      {gestaltSystemVersionMajor, 10},
      {gestaltSystemVersionMinor, 6},
      {gestaltSystemVersionBugFix, 8},
  };
};

GestaltTable& Table()
{
  static GestaltTable t;
  return t;
}

}  // namespace

OSStatus Gestalt(OSType selector, SInt32* response)
{
  if (!response) return paramErr;
  GestaltTable& t = Table();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = t.values.find(selector);
  if (it == t.values.end()) return gestaltUndefSelectorErr;
  *response = it->second;
  return noErr;
}

OSStatus ReplaceGestaltValue(OSType selector, SInt32 newValue)
{
  GestaltTable& t = Table();
  std::lock_guard<std::mutex> guard(t.lock);
  t.values[selector] = newValue;
  return noErr;
}
