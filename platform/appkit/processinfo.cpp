#include "platform/appkit/Foundation.h"

namespace {

// Nothing throttles a program here: an activity only counts as held until ended.
class AKActivity : public NSObject
{
public:
  bool ended = false;
};

}  // namespace

NSProcessInfo* NSProcessInfo::processInfo()
{
  static NSProcessInfo* info = new NSProcessInfo;
  return info;
}

NSObject* NSProcessInfo::beginActivityWithOptions(NSActivityOptions, const char*)
{
  ++mHeld;
  return new AKActivity;
}

void NSProcessInfo::endActivity(NSObject* activity)
{
  AKActivity* a = dynamic_cast<AKActivity*>(activity);
  // An activity ended twice counts once.
  if (!a || a->ended) return;
  a->ended = true;
  --mHeld;
}
