#pragma once
// Carries one pointer-sized value inside kit objects (a menu item's data, a
// pop-up item's value, a tree item's record, a window timer's id). Main thread
// only, as the kit.

#include "platform/appkit/Foundation.h"

#include <cstdint>

class Swell_vDavrel_64_sdh : public NSObject
{
public:
  explicit Swell_vDavrel_64_sdh(intptr_t v) : m_data(v) {}  // initWithVal:
  intptr_t getValue() const { return m_data; }

private:
  intptr_t m_data;
};
