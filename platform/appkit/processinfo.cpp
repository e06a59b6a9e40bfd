#include "platform/appkit/Foundation.h"

#include <string>

namespace {

class AKActivity : public NSObject
{
public:
  AKActivity(NSActivityOptions o, const char* r) : options(o), reason(r ? r : "") {}
  NSActivityOptions options;
  std::string reason;
  bool ended = false;
};

}  // namespace

NSProcessInfo* NSProcessInfo::processInfo()
{
  static NSProcessInfo* info = new NSProcessInfo;
  return info;
}

NSObject* NSProcessInfo::beginActivityWithOptions(NSActivityOptions options, const char* reason)
{
  ++mHeld;
  return new AKActivity(options, reason);
}

void NSProcessInfo::endActivity(NSObject* activity)
{
  AKActivity* a = dynamic_cast<AKActivity*>(activity);
  // An activity ended twice counts once.
  if (!a || a->ended) return;
  a->ended = true;
  --mHeld;
}
