#pragma once
// Stands in for the editor controller until it exists: the plug-in's identity,
// channels and parameters as the editor sets them up, a state chunk of every
// parameter value, and an editor window of a few stock controls, so hosts can
// load, drive, show and save the real bundle.

#include "plug/IPlugAU.h"

#define DAVREL_BUNDLE_ID "com.Quiet Harbor Sound.audiounit.Davrel Editor x64"
#define DAVREL_VIEW_CLASS "Davrel_View_64"

class DavrelStandIn : public IPlugAU
{
public:
  static const int kEditorWidth = 1500, kEditorHeight = 667;
  // Where the stand-in's controls are: knobs for parameters 0 to 7, switches for 8 to 11.
  static const int kKnobX = 400, kKnobY = 300, kKnobStep = 90;
  static const int kSwitchX = 400, kSwitchY = 420, kSwitchStep = 90;

  explicit DavrelStandIn(IPlugInstanceInfo instanceInfo);

  // The framework version header, then the plain value of every parameter.
  bool SerializeState(ByteChunk* pChunk) override;
  int UnserializeState(ByteChunk* pChunk, int startPos) override;
};
