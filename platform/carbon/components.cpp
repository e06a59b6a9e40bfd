#include "platform/carbon/Components.h"

#include <cstdio>
#include <mutex>

namespace {

struct ComponentTable
{
  std::mutex lock;
  ComponentRecord* first = nullptr;
};

ComponentTable& Table()
{
  static ComponentTable t;
  return t;
}

bool Matches(const ComponentDescription& have, const ComponentDescription& want)
{
  return (!want.componentType || want.componentType == have.componentType) &&
         (!want.componentSubType || want.componentSubType == have.componentSubType) &&
         (!want.componentManufacturer || want.componentManufacturer == have.componentManufacturer);
}

bool Callable(ComponentInstance instance) { return instance && instance->component && instance->component->entry; }

}  // namespace

Component RegisterComponent(const ComponentDescription* description, ComponentRoutineProcPtr entry, const char* name)
{
  if (!description || !entry) return nullptr;
  ComponentRecord* c = new ComponentRecord();
  c->description = *description;
  c->entry = entry;
  snprintf(c->name, sizeof(c->name), "%s", name ? name : "");
  ComponentTable& t = Table();
  std::lock_guard<std::mutex> guard(t.lock);
  ComponentRecord** tail = &t.first;
  while (*tail) tail = &(*tail)->next;
  *tail = c;
  return c;
}

OSStatus UnregisterComponent(Component component)
{
  ComponentTable& t = Table();
  std::lock_guard<std::mutex> guard(t.lock);
  for (ComponentRecord** p = &t.first; *p; p = &(*p)->next)
  {
    if (*p != component) continue;
    if (component->openInstances > 0) return validInstancesExist;
    *p = component->next;
    delete component;
    return noErr;
  }
  return invalidComponentID;
}

Component FindNextComponent(Component previous, const ComponentDescription* looking)
{
  ComponentTable& t = Table();
  std::lock_guard<std::mutex> guard(t.lock);
  ComponentRecord* c = t.first;
  if (previous)
  {
    while (c && c != previous) c = c->next;
    if (!c) return nullptr;
    c = c->next;
  }
  for (; c; c = c->next)
    if (!looking || Matches(c->description, *looking)) return c;
  return nullptr;
}

OSStatus OpenAComponent(Component component, ComponentInstance* instance)
{
  if (!instance) return paramErr;
  *instance = nullptr;
  if (!component || !component->entry) return invalidComponentID;
  ComponentInstanceRecord* ci = new ComponentInstanceRecord();
  ci->component = component;
  ci->storage = nullptr;
  ci->eventListeners = nullptr;
  ci->releaseEventListeners = nullptr;
  const ComponentResult r = CallComponent(ci, kComponentOpenSelect, {ComponentWord(ci)});
  if (r != noErr)
  {
    delete ci;
    return r;
  }
  {
    std::lock_guard<std::mutex> guard(Table().lock);
    ++component->openInstances;
  }
  *instance = ci;
  return noErr;
}

OSStatus CloseComponent(ComponentInstance instance)
{
  if (!Callable(instance)) return badComponentInstance;
  const ComponentResult r = CallComponent(instance, kComponentCloseSelect, {ComponentWord(instance)});
  if (instance->releaseEventListeners) instance->releaseEventListeners(instance);
  {
    std::lock_guard<std::mutex> guard(Table().lock);
    --instance->component->openInstances;
  }
  delete instance;
  return r;
}

OSStatus GetComponentInfo(Component component, ComponentDescription* description)
{
  if (!component) return invalidComponentID;
  if (!description) return paramErr;
  *description = component->description;
  return noErr;
}

OSStatus GetComponentInfo(ComponentInstance instance, ComponentDescription* description)
{
  if (!instance) return badComponentInstance;
  return GetComponentInfo(instance->component, description);
}

void SetComponentInstanceStorage(ComponentInstance instance, void* storage)
{
  if (instance) instance->storage = storage;
}

void* GetComponentInstanceStorage(ComponentInstance instance) { return instance ? instance->storage : nullptr; }

ComponentResult CallComponent(ComponentInstance instance, SInt16 selector, std::initializer_list<uintptr_t> args)
{
  if (!Callable(instance)) return badComponentInstance;
  if (args.size() > kComponentParametersMax) return paramErr;
  ComponentParameters p = {};
  p.what = selector;
  p.paramSize = (UInt8)(args.size() * sizeof(uintptr_t));
  int i = 0;
  for (uintptr_t w : args) p.params[i++] = w;
  return instance->component->entry(&p, instance->storage);
}

ComponentResult CallComponentCanDo(ComponentInstance instance, SInt16 selector)
{
  return CallComponent(instance, kComponentCanDoSelect, {ComponentWord(selector)});
}

ComponentResult CallComponentVersion(ComponentInstance instance)
{
  return CallComponent(instance, kComponentVersionSelect, {});
}
