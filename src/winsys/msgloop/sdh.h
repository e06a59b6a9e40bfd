#pragma once
// Carries one pointer-sized value inside kit objects (a menu item's data, a
// pop-up item's value, a tree item's record). Main thread only, as the kit.

#include "platform/appkit/Foundation.h"

#include <cstdint>

class Swell_vDavrel_64_sdh : public NSObject
{
public:
  explicit Swell_vDavrel_64_sdh(intptr_t v) : mValue(v) {}  // initWithVal:
  intptr_t getValue() const { return mValue; }

private:
  intptr_t mValue;
};
