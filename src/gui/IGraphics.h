#pragma once
// The editor window as the platform sees it: the controls and control layers, the
// window-sized draw bitmap every control draws into, the mouse and keyboard state,
// and the road by which parameter values travel between the plug-in and the
// controls. Attached to a plug-in with IPlugBase::AttachGraphics and owned by it
// from then on. The platform class supplies the window, popup menus, text entry and
// file panels; without one (tests, the headless host) those do nothing.
//
// Two process-wide stores sit beside it, shared by every graphics object: the bitmap
// store (every loaded image, by resource id and scale) and the font store (one font
// per text style). Each has its own lock.
//
// Threads: the graphics object belongs to the main thread, which holds the plug-in's
// mutex (IPlugBase::mMutex) for each drawing pass (IsDirty, Draw) and each input
// event. The value routes may be called from any thread and take that mutex
// themselves, so a value, text or layer change made elsewhere under it never lands
// in the middle of a drawing pass; the next pass shows it.

#include "base/ptrlist.h"
#include "base/wdlstring.h"
#include "config/BundleResources.h"
#include "gui/IGraphicsStructs.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

class ControlLayer;
class IControl;
class IParam;
class IPlugBase;
class IPopupMenu;
class LICE_MemBitmap;
class LICE_SysBitmap;

enum EFileAction
{
  kFileOpen = 0,
  kFileSave = 1
};

class IGraphics
{
public:
  // A frame rate of 0 or below becomes 25.
  IGraphics(IPlugBase* plug, int w, int h, int refreshFPS = 0);
  virtual ~IGraphics();
  IGraphics(const IGraphics&) = delete;
  IGraphics& operator=(const IGraphics&) = delete;

  // ---- virtual operations; the platform ones do nothing here ----
  // Platform: copies the draw bitmap to the window; true without a window.
  virtual bool DrawScreen(IRECT* rect);
  virtual bool MeasureIText(IText* text, char* str, IRECT* destRect);
  virtual void ForceEndUserEdit() {}
  // Starts loading what the first text drawn needs (the platform's font engine)
  // beside the caller's work.
  virtual void PrepareTextAhead() {}
  virtual void Resize(int w, int h);
  virtual bool WindowIsOpen() { return GetWindow() != nullptr; }
  virtual const char* GetGUIAPI() { return ""; }
  // Platform: answers 0 here.
  virtual int ShowMessageBox(const char* text, const char* caption, int type);
  // Platform: shows the menu and returns the menu the user chose from, or null.
  virtual IPopupMenu* CreateIPopupMenu(IPopupMenu* menu, IRECT* rect);
  // Platform: opens a text field over the rectangle holding the text.
  virtual void CreateTextEntry(IControl* control, IText* text, IRECT* rect, const char* str, IParam* param);
  virtual void HostPath(WDL_String* path);
  virtual void PluginPath(WDL_String* path);
  virtual void DesktopPath(WDL_String* path);
  // Platform: a save (kFileSave) or open panel starting in dir for the
  // blank-separated extensions; file holds the suggested name on entry and the
  // chosen path on return, empty when nothing was chosen (always here).
  virtual void PromptForFile(WDL_String* file, EFileAction action = kFileOpen, WDL_String* dir = nullptr,
                             char* extensions = nullptr);
  virtual bool PromptForColor(IColor* color, char* prompt);
  virtual bool OpenURL(const char* url, const char* msgWindowTitle = nullptr, const char* confirmMsg = nullptr,
                       const char* errMsgOnFailure = nullptr);
  virtual void* OpenWindow(void* parent);
  virtual void* OpenWindow(void* window, void* control, short leftOffset = 0, short topOffset = 0);
  virtual void AttachSubWindow(void*) {}
  virtual void RemoveSubWindow() {}
  virtual void CloseWindow() {}
  virtual void* GetWindow() { return nullptr; }
  // Reads a resource of the plug-in bundle whole; the id is not used.
  virtual LoadedResource OSLoadFile(int id, const char* name);
  virtual void HideMouseCursor() {}
  virtual void ShowMouseCursor() {}
  // A new bitmap of a PNG resource of the bundle, or null; the id is not used.
  virtual LICE_IBitmap* OSLoadBitmap(int id, const char* name);

  // ---- set-up ----
  // Makes the draw bitmap and the scratch bitmap; called when the plug-in attaches
  // the graphics object.
  virtual void PrepDraw();
  void ReleaseMouseCapture();
  // Puts the image at index 0 of the control list as an IBitmapControl.
  void AttachBackground(int id, const char* name, double scale);
  int AttachPanelBackground(const IColor* color);
  // Both take ownership and return the index.
  int AttachControl(IControl* control);
  int AttachLayer(ControlLayer* layer);
  void AttachKeyCatcher(IControl* control);

  // ---- value routes; any thread but OnGUIIdle: each takes the plug-in's mutex ----
  // The plug-in's road to the controls; never pushes back. With normalized false
  // the value is in the parameter's own range: it is normalised and stored back into
  // the parameter (snapped to its step) before the controls get it.
  virtual void SetParameterFromPlug(int paramIdx, double value, bool normalized);
  void SetControlFromPlug(int controlIdx, double normalizedValue);
  // Every control of the parameter takes the value as the user's and pushes it on.
  void SetParameterFromGUI(int paramIdx, double normalizedValue);
  void SetAllControlsDirty();
  void HideControl(int paramIdx, bool hide);
  void GrayOutControl(int paramIdx, bool gray);
  void ClampControl(int paramIdx, double lo, double hi, bool normalized);
  void SetStrictDrawing(bool strict);
  // Main thread.
  void OnGUIIdle();

  // ---- user input of a value ----
  // A menu of the display entries for a bool or enum parameter that has them, else
  // the platform's text entry.
  void PromptUserInput(IControl* control, IParam* param, IRECT* rect);
  // The platform's text entry hands the edited text back here.
  void SetFromStringAfterPrompt(IControl* control, IParam* param, char* text);

  // ---- images and files ----
  // The image of the id at the scale from the bitmap store, loaded from the bundle,
  // scaled and stored on first use. A missing or undecodable image gives an empty
  // bitmap (and a log line), which draws nothing.
  IBitmap LoadIBitmap(int id, const char* name, double scale, int nStates = 1, bool framesAreHoriz = false);
  // Loads the images not yet in the store at the scale, several at a time on as many
  // threads as the process may run on (up to four), and stores them in the order
  // given. One that cannot be loaded is noted: LoadIBitmap's call for it then says why.
  struct ImageRequest
  {
    int id;
    const char* name;
  };
  void LoadIBitmaps(const std::vector<ImageRequest>& images, double scale);
  // An image already loaded at the scale; an empty bitmap when there is none.
  IBitmap getImageById(int id, int nStates, bool framesAreHoriz, double scale);
  // Puts a bitmap made elsewhere into the store (id -1), which then owns it.
  void RetainBitmap(IBitmap* bitmap);
  // Takes the bitmap out of the store and frees it; one not in the store is left alone.
  void ReleaseBitmap(IBitmap* bitmap);
  // The resource through OSLoadFile; the byte count read is then GetLoadedFileSize().
  LoadedResource LoadFile(int id, const char* name);
  int GetLoadedFileSize() const { return mLoadedFileSize; }
  // The font of a text style, made on first use; null when the window system
  // cannot make it.
  LICE_IFont* CacheFont(IText* text);
  // Where OSLoadFile and OSLoadBitmap find the bundle's resources.
  void SetResourceRoot(const std::string& root) { mResources = BundleResources(root); }
  const std::string& GetResourceRoot() const { return mResources.root(); }

  // ---- drawing operations (IGraphicsDrawing.cpp); all draw on the draw bitmap ----
  bool DrawBitmap(IBitmap* bitmap, IRECT* dest, int srcX, int srcY, const IChannelBlend* blend = nullptr);
  bool DrawBitmap(IBitmap* bitmap, IRECT* dest, int frame = 1, const IChannelBlend* blend = nullptr);
  bool DrawBitmap(IBitmap* bitmap, IRECT* dest, int frame, int srcX, int srcY, const IChannelBlend* blend = nullptr);
  bool DrawRotatedBitmap(IBitmap* bitmap, int destCtrX, int destCtrY, double angle, int yOffsetZeroDeg = 0,
                         const IChannelBlend* blend = nullptr);
  // Angle in degrees.
  bool DrawRotatedMask(IBitmap* base, IBitmap* mask, IBitmap* top, int x, int y, double angle,
                       const IChannelBlend* blend = nullptr);
  bool DrawPoint(const IColor* color, float x, float y, const IChannelBlend* blend = nullptr, bool aa = false);
  // No bounds check: the point must lie inside the bitmap.
  bool ForcePixel(const IColor* color, int x, int y);
  IColor GetPoint(int x, int y);
  void* GetBits();
  bool DrawLine(const IColor* color, float x1, float y1, float x2, float y2, const IChannelBlend* blend = nullptr,
                bool aa = false);
  // Angle in radians, 0 pointing up.
  bool DrawRadialLine(const IColor* color, float cx, float cy, float angle, float rMin, float rMax,
                      const IChannelBlend* blend = nullptr, bool aa = false);
  bool DrawVerticalLine(const IColor* color, int xi, int yLo, int yHi);
  bool DrawHorizontalLine(const IColor* color, int yi, int xLo, int xHi);
  // x and y are fractions of the rectangle, clamped to 0..1 (y counts up from B).
  bool DrawVerticalLine(const IColor* color, IRECT* rect, float x);
  bool DrawHorizontalLine(const IColor* color, IRECT* rect, float y);
  // The right and bottom edges are drawn too.
  bool DrawRect(const IColor* color, IRECT* rect);
  bool DrawArc(const IColor* color, float cx, float cy, float r, float minAngle, float maxAngle,
               const IChannelBlend* blend = nullptr, bool aa = false);
  bool DrawCircle(const IColor* color, float cx, float cy, float r, const IChannelBlend* blend = nullptr,
                  bool aa = false);
  bool RoundRect(const IColor* color, IRECT* rect, const IChannelBlend* blend, int cornerRadius, bool aa);
  bool FillRoundRect(const IColor* color, IRECT* rect, const IChannelBlend* blend, int cornerRadius, bool aa);
  bool FillIRect(const IColor* color, IRECT* rect, const IChannelBlend* blend = nullptr);
  bool FillCircle(const IColor* color, int cx, int cy, float r, const IChannelBlend* blend = nullptr,
                  bool aa = false);
  bool FillTriangle(const IColor* color, int x1, int y1, int x2, int y2, int x3, int y3,
                    const IChannelBlend* blend = nullptr);
  bool FillIConvexPolygon(const IColor* color, int* x, int* y, int npoints, const IChannelBlend* blend = nullptr);
  // New bitmaps, owned by the bitmap store.
  IBitmap ScaleBitmap(IBitmap* bitmap, int w, int h);
  IBitmap CropBitmap(IBitmap* bitmap, IRECT* rect);
  // False when the style's font cannot be made.
  bool DrawIText(IText* text, char* str, IRECT* rect, bool measure = false);
  // As DrawIText, but no pixel outside the rectangle is touched, whatever the
  // text's size and the font's bearings.
  bool DrawITextInside(IText* text, char* str, IRECT* rect);

  // ---- drawing pass and input dispatch (IGraphicsDispatch.cpp); main thread ----
  // Widens the area by every dirty control; true when anything must be redrawn.
  bool IsDirty(IRECT* area);
  // Draws the controls and layers meeting the area, then DrawScreen.
  bool Draw(IRECT* area);
  void OnMouseDown(int x, int y, IMouseMod* mod);
  void OnMouseUp(int x, int y, IMouseMod* mod);
  void OnMouseDrag(int x, int y, IMouseMod* mod);
  bool OnMouseDblClick(int x, int y, IMouseMod* mod);
  void OnMouseWheel(int x, int y, IMouseMod* mod, int d);
  bool OnMouseOver(int x, int y, IMouseMod* mod);
  void OnMouseOut();
  bool OnKeyDown(int x, int y, int key);
  // Escape outside a text entry: true when the plug-in's action took it (closed a
  // panel of its own); otherwise the key goes on to the host.
  bool OnEscape();
  void SetEscapeAction(std::function<bool()> action) { mEscapeAction = std::move(action); }
  IControl* GetMouseControlIdx(int x, int y, bool mouseOver = false);
  int GetParamIdxForPTAutomation(int x, int y);
  int GetLastClickedParamForPTAutomation();
  void HandleMouseOver(bool canHandle) { mHandleMouseOver = canHandle; }

  // ---- accessors ----
  IPlugBase* GetPlug() const { return mPlug; }
  int Width() const { return mWidth; }
  int Height() const { return mHeight; }
  int FPS() const { return mFPS; }
  int NControls() const { return mControls.GetSize(); }
  IControl* GetControl(int idx) const { return mControls.Get(idx); }
  int NLayers() const { return mLayers.GetSize(); }
  ControlLayer* GetLayer(int idx) const { return mLayers.Get(idx); }
  IControl* GetKeyCatcher() const { return mKeyCatcher; }
  IControl* GetCapture() const { return mMouseCapture; }
  IControl* GetMouseOverControl() const { return mMouseOver; }
  const IRECT& GetDrawRECT() const { return mDrawRECT; }
  bool GetStrictDrawing() const { return mStrict; }
  LICE_SysBitmap* GetDrawBitmap() const { return mDrawBitmap; }

protected:
  int mLoadedFileSize = 0;
  WDL_PtrList<IControl> mControls;
  WDL_PtrList<ControlLayer> mLayers;
  IPlugBase* mPlug;
  IRECT mDrawRECT;
  bool mCursorHidden = false;
  int mHiddenMousePointX = -1, mHiddenMousePointY = -1;
  LICE_SysBitmap* mDrawBitmap = nullptr;
  LICE_MemBitmap* mTmpBitmap = nullptr;
  int mWidth, mHeight, mFPS;

private:
  // The hit search of every input event: the layers from the last to the first, then
  // the plain controls from the last to the background; hidden and grey controls are
  // skipped.
  IControl* FindInputControl(int x, int y);
  void DeleteBitmaps();
  // DrawIText, and with inside its text clipped to the rectangle.
  bool drawText(IText* text, char* str, IRECT* rect, bool measure, bool inside);

  IControl* mMouseOver = nullptr;
  IControl* mMouseCapture = nullptr;
  int mMouseX = 0, mMouseY = 0;
  int mLastClickedParam = -1;
  bool mHandleMouseOver = false;
  bool mStrict = true;
  IControl* mKeyCatcher = nullptr;
  std::function<bool()> mEscapeAction;
  BundleResources mResources;
  // Images LoadIBitmaps could not load, with the reason LoadIBitmap then gives once.
  struct FailedImage
  {
    int id;
    double scale;
    std::string why;
  };
  std::mutex mFailedImagesLock;
  std::vector<FailedImage> mFailedImages;
  LICE_IBitmap* LoadScaledBitmap(int id, const char* name, double scale, std::string* why);
};

// A new bitmap of the bundle's PNG resource name, or null: no name, a name whose
// extension is not "png" (any case), no such resource, or a file that is no PNG.
LICE_IBitmap* LoadImgFromResourceOSX(const BundleResources& bundle, const char* name);
