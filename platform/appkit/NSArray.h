#pragma once
// An immutable ordered list of objects, each retained while the list lives; for
// the interfaces that hand lists of objects around (accessibility children).

#include "platform/appkit/Foundation.h"

#include <vector>

class NSArray : public NSObject
{
public:
  explicit NSArray(std::vector<NSObject*> objects);
  NSUInteger count() const { return (NSUInteger)mObjects.size(); }
  NSObject* objectAtIndex(NSUInteger i) const { return i < mObjects.size() ? mObjects[i] : nullptr; }
  const std::vector<NSObject*>& objects() const { return mObjects; }
  // The same objects in the same order (null: false).
  bool isEqualToArray(const NSArray* other) const { return other && other->mObjects == mObjects; }

protected:
  ~NSArray() override;

private:
  std::vector<NSObject*> mObjects;
};
