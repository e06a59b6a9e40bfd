#include "platform/audiounit/AudioUnitUtilities.h"

#include <atomic>
#include <mutex>
#include <vector>

// A listener outlives its disposal while registrations still point at it.
struct AUListenerBase
{
  AUEventListenerProc proc;
  void* refCon;
  std::atomic<int> refs{1};
  std::atomic<bool> disposed{false};

  void Retain() { refs.fetch_add(1); }
  void Release()
  {
    if (refs.fetch_sub(1) == 1) delete this;
  }
};

namespace {

struct Registration
{
  AUListenerBase* listener;
  void* object;
  AudioUnitEvent event;
};

struct ListenerChain
{
  std::mutex lock;
  std::vector<Registration> registrations;
};

bool SameTarget(const AudioUnitEvent& a, const AudioUnitEvent& b)
{
  if (a.mEventType != b.mEventType) return false;
  if (a.mEventType == kAudioUnitEvent_PropertyChange)
  {
    const AudioUnitProperty &x = a.mArgument.mProperty, &y = b.mArgument.mProperty;
    return x.mAudioUnit == y.mAudioUnit && x.mPropertyID == y.mPropertyID && x.mScope == y.mScope &&
           x.mElement == y.mElement;
  }
  const AudioUnitParameter &x = a.mArgument.mParameter, &y = b.mArgument.mParameter;
  return x.mAudioUnit == y.mAudioUnit && x.mParameterID == y.mParameterID && x.mScope == y.mScope &&
         x.mElement == y.mElement;
}

// Whether a registration hears an event: the same target, or any parameter.
bool Hears(const AudioUnitEvent& reg, const AudioUnitEvent& ev)
{
  if (SameTarget(reg, ev)) return true;
  if (reg.mEventType != ev.mEventType || ev.mEventType == kAudioUnitEvent_PropertyChange) return false;
  const AudioUnitParameter &x = reg.mArgument.mParameter, &y = ev.mArgument.mParameter;
  return x.mParameterID == kAUParameterListener_AnyParameter && x.mAudioUnit == y.mAudioUnit && x.mScope == y.mScope &&
         x.mElement == y.mElement;
}

AudioUnit UnitOf(const AudioUnitEvent& e)
{
  return e.mEventType == kAudioUnitEvent_PropertyChange ? e.mArgument.mProperty.mAudioUnit
                                                        : e.mArgument.mParameter.mAudioUnit;
}

void ReleaseChain(ComponentInstanceRecord* instance)
{
  ListenerChain* chain = static_cast<ListenerChain*>(instance->eventListeners.exchange(nullptr));
  if (!chain) return;
  for (auto& r : chain->registrations) r.listener->Release();
  delete chain;
}

ListenerChain* ChainOf(AudioUnit unit, bool create)
{
  if (!unit) return nullptr;
  void* c = unit->eventListeners.load();
  if (c || !create) return static_cast<ListenerChain*>(c);
  ListenerChain* fresh = new ListenerChain;
  void* expected = nullptr;
  if (unit->eventListeners.compare_exchange_strong(expected, fresh))
  {
    unit->releaseEventListeners = ReleaseChain;
    return fresh;
  }
  delete fresh;
  return static_cast<ListenerChain*>(expected);
}

}  // namespace

OSStatus AUEventListenerCreate(AUEventListenerProc inProc, void* inCallbackRefCon, AUEventListenerRef* outListener)
{
  if (!inProc || !outListener) return paramErr;
  AUListenerBase* l = new AUListenerBase;
  l->proc = inProc;
  l->refCon = inCallbackRefCon;
  *outListener = l;
  return noErr;
}

OSStatus AUEventListenerAddEventType(AUEventListenerRef inListener, void* inObject, const AudioUnitEvent* inEvent)
{
  if (!inListener || !inEvent) return paramErr;
  ListenerChain* chain = ChainOf(UnitOf(*inEvent), true);
  if (!chain) return paramErr;
  std::lock_guard<std::mutex> guard(chain->lock);
  inListener->Retain();
  chain->registrations.push_back(Registration{inListener, inObject, *inEvent});
  return noErr;
}

OSStatus AUEventListenerRemoveEventType(AUEventListenerRef inListener, void* inObject, const AudioUnitEvent* inEvent)
{
  if (!inListener || !inEvent) return paramErr;
  ListenerChain* chain = ChainOf(UnitOf(*inEvent), false);
  if (!chain) return paramErr;
  std::lock_guard<std::mutex> guard(chain->lock);
  auto& regs = chain->registrations;
  for (auto it = regs.begin(); it != regs.end(); ++it)
  {
    if (it->listener == inListener && it->object == inObject && SameTarget(it->event, *inEvent))
    {
      it->listener->Release();
      regs.erase(it);
      return noErr;
    }
  }
  return paramErr;
}

OSStatus AUListenerDispose(AUEventListenerRef inListener)
{
  if (!inListener) return paramErr;
  inListener->disposed = true;
  inListener->Release();
  return noErr;
}

OSStatus AUEventListenerNotify(AUEventListenerRef inSendingListener, void* inSendingObject, const AudioUnitEvent* inEvent)
{
  if (!inEvent) return paramErr;
  const AudioUnit unit = UnitOf(*inEvent);
  ListenerChain* chain = ChainOf(unit, false);
  if (!chain) return noErr;
  std::vector<Registration> hearing;
  {
    std::lock_guard<std::mutex> guard(chain->lock);
    for (const auto& r : chain->registrations)
    {
      if (r.listener == inSendingListener || (inSendingObject && r.object == inSendingObject)) continue;
      if (!Hears(r.event, *inEvent)) continue;
      r.listener->Retain();
      hearing.push_back(r);
    }
  }
  AudioUnitParameterValue value = 0;
  if (!hearing.empty() && inEvent->mEventType == kAudioUnitEvent_ParameterValueChange)
  {
    const AudioUnitParameter& p = inEvent->mArgument.mParameter;
    AudioUnitGetParameter(unit, p.mParameterID, p.mScope, p.mElement, &value);
  }
  for (auto& r : hearing)
  {
    if (!r.listener->disposed) r.listener->proc(r.listener->refCon, r.object, inEvent, 0, value);
    r.listener->Release();
  }
  return noErr;
}
