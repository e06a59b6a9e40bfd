#pragma once
// Stands in for the editor controller until it exists: the plug-in's identity,
// channels and parameters as the editor sets them up, and a state chunk of
// every parameter value, so hosts can load, drive and save the real bundle.

#include "plug/IPlugAU.h"

#define DAVREL_BUNDLE_ID "com.Quiet Harbor Sound.audiounit.Davrel Editor x64"
#define DAVREL_VIEW_CLASS "Davrel_View_64"

class DavrelStandIn : public IPlugAU
{
public:
  explicit DavrelStandIn(IPlugInstanceInfo instanceInfo);

  // The framework version header, then the plain value of every parameter.
  bool SerializeState(ByteChunk* pChunk) override;
  int UnserializeState(ByteChunk* pChunk, int startPos) override;
};
