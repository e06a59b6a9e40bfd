#pragma once
// The component interface: a host registers a code entry under a description,
// opens instances of it and calls each instance through that one entry, by
// selector. All per-instance state lives in the records, so a plug-in library
// that carries its own copy of this layer meets the host's copy on them.

#include "platform/corefoundation/MacTypes.h"

#include <atomic>
#include <cstring>
#include <initializer_list>
#include <type_traits>

typedef SInt32 ComponentResult;

struct ComponentDescription
{
  OSType componentType;
  OSType componentSubType;
  OSType componentManufacturer;
  UInt32 componentFlags;
  UInt32 componentFlagsMask;
};

enum : SInt16
{
  kComponentOpenSelect = -1,
  kComponentCloseSelect = -2,
  kComponentCanDoSelect = -3,
  kComponentVersionSelect = -4,
};

constexpr ComponentResult badComponentInstance = -0x7FFF7FFF;  // 0x80008001
constexpr ComponentResult badComponentSelector = -0x7FFF7FFE;  // 0x80008002
constexpr ComponentResult invalidComponentID = -3000;
constexpr ComponentResult validInstancesExist = -3001;

enum
{
  kComponentParametersMax = 8
};

// One call: the selector and its arguments, one machine word each, in the order
// of the call's own argument list.
struct ComponentParameters
{
  UInt8 flags;
  UInt8 paramSize;  // bytes of arguments present
  SInt16 what;
  uintptr_t params[kComponentParametersMax];
};

typedef ComponentResult (*ComponentRoutineProcPtr)(ComponentParameters* params, void* storage);

struct ComponentRecord;
struct ComponentInstanceRecord;
typedef ComponentRecord* Component;
typedef ComponentInstanceRecord* ComponentInstance;

struct ComponentRecord
{
  ComponentDescription description;
  ComponentRoutineProcPtr entry;
  char name[256];
  int openInstances;
  ComponentRecord* next;
};

struct ComponentInstanceRecord
{
  Component component;
  void* storage;
  // Host listeners for the instance's events, kept by the Audio Unit event layer,
  // which also supplies their release at close.
  std::atomic<void*> eventListeners;
  void (*releaseEventListeners)(ComponentInstanceRecord* instance);
};

// Packing and unpacking of argument words.
template <class T>
inline uintptr_t ComponentWord(T value)
{
  if constexpr (std::is_pointer<T>::value) return reinterpret_cast<uintptr_t>(value);
  else if constexpr (std::is_floating_point<T>::value)
  {
    Float32 f = (Float32)value;
    UInt32 bits;
    memcpy(&bits, &f, 4);
    return bits;
  }
  else return (uintptr_t)value;
}

template <class T>
inline T ComponentArg(const ComponentParameters* p, int index)
{
  const uintptr_t w = p->params[index];
  if constexpr (std::is_pointer<T>::value) return reinterpret_cast<T>(w);
  else if constexpr (std::is_floating_point<T>::value)
  {
    const UInt32 bits = (UInt32)w;
    Float32 f;
    memcpy(&f, &bits, 4);
    return (T)f;
  }
  else return (T)w;
}

// Whether the record carries at least count argument words.
inline bool ComponentHasArgs(const ComponentParameters* p, int count)
{
  return p && count <= kComponentParametersMax && p->paramSize >= count * (int)sizeof(uintptr_t);
}

// Host side. The name is copied (at most 255 bytes).
Component RegisterComponent(const ComponentDescription* description, ComponentRoutineProcPtr entry, const char* name);
// validInstancesExist while an instance is open.
OSStatus UnregisterComponent(Component component);
// Zero fields of the description match anything; a null previous starts the search.
Component FindNextComponent(Component previous, const ComponentDescription* looking);
// Calls the entry's open selector with the new instance; an error there closes nothing and frees the record.
OSStatus OpenAComponent(Component component, ComponentInstance* instance);
OSStatus CloseComponent(ComponentInstance instance);

// Both sides.
OSStatus GetComponentInfo(Component component, ComponentDescription* description);
OSStatus GetComponentInfo(ComponentInstance instance, ComponentDescription* description);
void SetComponentInstanceStorage(ComponentInstance instance, void* storage);
void* GetComponentInstanceStorage(ComponentInstance instance);
ComponentResult CallComponent(ComponentInstance instance, SInt16 selector, std::initializer_list<uintptr_t> args);
ComponentResult CallComponentCanDo(ComponentInstance instance, SInt16 selector);
ComponentResult CallComponentVersion(ComponentInstance instance);
