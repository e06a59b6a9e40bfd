#pragma once
// The editor's view factory: a named class the host makes from the name and
// bundle the Cocoa view property gives. The plug-in derives its own class with
// its description and registers it with AU_COCOA_UI_EXPORT_CLASS(Name).

#include "platform/audiounit/AUCocoaUIView.h"

class IPlugAU;

class IPlugAUViewFactory : public AUCocoaUIBase
{
public:
  // The main thread. The unit's stored plug-in gives its graphics' view, or null
  // when it has no plug-in or no graphics.
  void* uiViewForAudioUnit(AudioUnit inAudioUnit, double preferredWidth, double preferredHeight) override;
  unsigned interfaceVersion() override { return 0; }

  IPlugAU* GetPlug() const { return mPlug; }

protected:
  IPlugAU* mPlug = nullptr;
};
