#include "plug/IPlugAUViewFactory.h"

#include "gui/IGraphics.h"
#include "plug/IPlugAU.h"

void* IPlugAUViewFactory::uiViewForAudioUnit(AudioUnit inAudioUnit, double, double)
{
  mPlug = static_cast<IPlugAU*>(GetComponentInstanceStorage(inAudioUnit));
  if (!mPlug || !mPlug->GetGUI()) return nullptr;
  return mPlug->GetGUI()->OpenWindow(nullptr);
}
