#pragma once
// The editor window and its drawing surface, as the plug-in base sees it:
// attached to a plug-in with IPlugBase::AttachGraphics and owned by it from
// then on. The platform class supplies the window and the file chooser.

#include "base/wdlstring.h"

class IPlugBase;

enum EFileAction
{
  kFileOpen = 0,
  kFileSave = 1
};

class IGraphics
{
public:
  // A frame rate of 0 or below becomes 25.
  IGraphics(IPlugBase* pPlug, int w, int h, int refreshFPS = 0)
    : mPlug(pPlug), mWidth(w), mHeight(h), mFPS(refreshFPS > 0 ? refreshFPS : 25) {}
  virtual ~IGraphics() {}
  IGraphics(const IGraphics&) = delete;
  IGraphics& operator=(const IGraphics&) = delete;

  // Creates the drawing surface; called once when the plug-in attaches it.
  virtual void PrepDraw() = 0;
  // The plug-in's road to the controls. With normalized false the value is in
  // the parameter's own range: it is normalised and stored back into the
  // parameter (snapped to its step) before the controls get it.
  virtual void SetParameterFromPlug(int paramIdx, double value, bool normalized) = 0;
  // A save (kFileSave) or open panel starting in pDir for the blank-separated
  // extensions; pFilename holds the suggested name on entry and the chosen
  // path on return, empty when nothing was chosen.
  virtual void PromptForFile(WDL_String* pFilename, EFileAction action = kFileOpen, WDL_String* pDir = nullptr,
                             char* extensions = nullptr) = 0;

  // The window operations the Audio Unit adapter calls. The Cocoa form makes
  // the editor view (inside the parent view when one is given) and returns it;
  // the Carbon form (window, parent control, offsets) makes no view here.
  virtual void* OpenWindow(void* /*pParentView*/) { return nullptr; }
  virtual void* OpenWindow(void* /*pWindow*/, void* /*pParentControl*/, short /*leftOffset*/, short /*topOffset*/)
  {
    return nullptr;
  }
  virtual void CloseWindow() {}

  IPlugBase* GetPlug() const { return mPlug; }
  int Width() const { return mWidth; }
  int Height() const { return mHeight; }
  int FPS() const { return mFPS; }

protected:
  IPlugBase* mPlug;
  int mWidth, mHeight, mFPS;
};
