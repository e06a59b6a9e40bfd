#include "platform/appkit/NSArray.h"

NSArray::NSArray(std::vector<NSObject*> objects) : mObjects(std::move(objects))
{
  for (NSObject* o : mObjects)
    if (o) o->retain();
}

NSArray::~NSArray()
{
  for (NSObject* o : mObjects)
    if (o) o->release();
}
