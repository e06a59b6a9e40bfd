// The plug-in library's own entries: the factory, the two component entries
// and the editor's view class.

#include "editor/Davrel.h"

#include "plug/IPlugAUViewFactory.h"

IPlugAU* MakePlug()
{
  static WDL_Mutex sMutex;
  WDL_MutexLock lock(&sMutex);
  return new Davrel(DavrelInstanceInfo());
}

extern "C" __attribute__((visibility("default"))) ComponentResult Davrel_Entry(ComponentParameters* params, void* pPlug)
{
  return IPlugAU::IPlugAUEntry(params, pPlug);
}

extern "C" __attribute__((visibility("default"))) ComponentResult Davrel_ViewEntry(ComponentParameters* params,
                                                                                   void* pView)
{
  return IPlugAU::IPlugAUCarbonViewEntry(params, pView);
}

class Davrel_View_64 : public IPlugAUViewFactory
{
public:
  CFStringRef description() override
  {
    return CFStringCreateWithCString(nullptr, "Davrel Editor View", kCFStringEncodingUTF8);
  }
};

AU_COCOA_UI_EXPORT_CLASS(Davrel_View_64);
