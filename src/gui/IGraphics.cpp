#include "gui/IGraphics.h"

#include "gui/IControls.h"
#include "gui/IPopupMenu.h"
#include "plug/IPlugBase.h"
#include "raster/cachedfont.h"
#include "raster/lice.h"
#include "raster/lice_png.h"
#include "ui/ControlLayer.h"

#include <cstdarg>
#include "base/log.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sched.h>
#include <string>
#include <strings.h>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// Every loaded image, by resource id and the scale it was made at, so editors of
// different sizes in one process each get their own set. Owns the bitmaps.
class BitmapStorage
{
public:
  LICE_IBitmap* Find(int id, double scale)
  {
    WDL_MutexLock lock(&mMutex);
    return FindLocked(id, scale);
  }

  // Stores the bitmap unless another thread stored one under the same key first;
  // returns the one kept (the argument is then freed).
  LICE_IBitmap* Add(LICE_IBitmap* bitmap, int id, double scale)
  {
    WDL_MutexLock lock(&mMutex);
    if (id >= 0)
    {
      if (LICE_IBitmap* earlier = FindLocked(id, scale))
      {
        delete bitmap;
        return earlier;
      }
    }
    mEntries.push_back({id, scale, bitmap});
    return bitmap;
  }

  void Remove(LICE_IBitmap* bitmap)
  {
    if (!bitmap) return;
    WDL_MutexLock lock(&mMutex);
    for (size_t i = 0; i < mEntries.size(); ++i)
    {
      if (mEntries[i].bitmap != bitmap) continue;
      mEntries.erase(mEntries.begin() + (long)i);
      delete bitmap;
      return;
    }
  }

private:
  struct Entry
  {
    int id;
    double scale;
    LICE_IBitmap* bitmap;
  };

  LICE_IBitmap* FindLocked(int id, double scale)
  {
    for (const Entry& e : mEntries)
      if (e.id == id && e.scale == scale) return e.bitmap;
    return nullptr;
  }

  WDL_Mutex mMutex;
  std::vector<Entry> mEntries;
};

// One font per text style (size, orientation, style and face name). Owns the fonts.
class FontStorage
{
public:
  LICE_IFont* Find(const IText* text)
  {
    WDL_MutexLock lock(&mMutex);
    return FindLocked(text);
  }

  // As BitmapStorage::Add.
  LICE_IFont* Add(LICE_IFont* font, const IText* text)
  {
    WDL_MutexLock lock(&mMutex);
    if (LICE_IFont* earlier = FindLocked(text))
    {
      delete font;
      return earlier;
    }
    Entry e;
    e.size = text->mSize;
    e.orientation = text->mOrientation;
    e.style = text->mStyle;
    memcpy(e.face, text->mFont, sizeof(e.face));
    e.font = font;
    mEntries.push_back(e);
    return font;
  }

private:
  struct Entry
  {
    int size;
    int orientation;
    int style;
    char face[IText::kFontNameLen];
    LICE_IFont* font;
  };

  LICE_IFont* FindLocked(const IText* text)
  {
    for (const Entry& e : mEntries)
      if (e.size == text->mSize && e.orientation == text->mOrientation && e.style == text->mStyle &&
          strncmp(e.face, text->mFont, sizeof(e.face)) == 0)
        return e.font;
    return nullptr;
  }

  WDL_Mutex mMutex;
  std::vector<Entry> mEntries;
};

// Both live until the process ends; made on first use and never destroyed, so no
// exit-time destructor runs after the window system's own stores are gone.
BitmapStorage& bitmapCache()
{
  static BitmapStorage* s_bitmapCache = new BitmapStorage;
  return *s_bitmapCache;
}

FontStorage& fontCache()
{
  static FontStorage* s_fontCache = new FontStorage;
  return *s_fontCache;
}

WDL_Mutex* plugMutex(IPlugBase* plug) { return plug ? &plug->mMutex : nullptr; }

}  // namespace

IGraphics::IGraphics(IPlugBase* plug, int w, int h, int refreshFPS)
  : mControls(256 * (int)sizeof(void*)),
    mLayers(64 * (int)sizeof(void*)),
    mPlug(plug),
    mWidth(w),
    mHeight(h),
    mFPS(refreshFPS > 0 ? refreshFPS : 25)
{
}

IGraphics::~IGraphics()
{
  delete mKeyCatcher;
  mControls.Empty(true);
  mLayers.Empty(true);
  DeleteBitmaps();
}

void IGraphics::DeleteBitmaps()
{
  delete mDrawBitmap;
  mDrawBitmap = nullptr;
  delete mTmpBitmap;
  mTmpBitmap = nullptr;
}

// ---- platform operations without a platform ----

bool IGraphics::DrawScreen(IRECT*) { return true; }

bool IGraphics::MeasureIText(IText* text, char* str, IRECT* destRect) { return DrawIText(text, str, destRect, true); }

int IGraphics::ShowMessageBox(const char*, const char*, int) { return 0; }

IPopupMenu* IGraphics::CreateIPopupMenu(IPopupMenu*, IRECT*) { return nullptr; }

void IGraphics::CreateTextEntry(IControl*, IText*, IRECT*, const char*, IParam*) {}

void IGraphics::HostPath(WDL_String* path)
{
  if (path) path->Set("");
}

void IGraphics::PluginPath(WDL_String* path)
{
  if (path) path->Set("");
}

void IGraphics::DesktopPath(WDL_String* path)
{
  if (path) path->Set("");
}

void IGraphics::PromptForFile(WDL_String* file, EFileAction, WDL_String*, char*)
{
  if (file) file->Set("");
}

bool IGraphics::PromptForColor(IColor*, char*) { return false; }

bool IGraphics::OpenURL(const char*, const char*, const char*, const char*) { return false; }

void* IGraphics::OpenWindow(void*) { return nullptr; }

void* IGraphics::OpenWindow(void*, void*, short, short) { return nullptr; }

LoadedResource IGraphics::OSLoadFile(int id, const char* name) { return mResources.LoadFile(id, name); }

LICE_IBitmap* LoadImgFromResourceOSX(const BundleResources& bundle, const char* name)
{
  if (!name) return nullptr;
  const char* dot = strrchr(name, '.');
  if (strcasecmp(dot ? dot + 1 : name, "png") != 0) return nullptr;
  const std::string path = bundle.pathOf(name);
  if (path.empty()) return nullptr;
  return LICE_LoadPNG(path.c_str(), nullptr);
}

LICE_IBitmap* IGraphics::OSLoadBitmap(int, const char* name) { return LoadImgFromResourceOSX(mResources, name); }

// ---- set-up ----

void IGraphics::PrepDraw()
{
  DeleteBitmaps();
  mDrawBitmap = new LICE_SysBitmap(mWidth, mHeight);
  mTmpBitmap = new LICE_MemBitmap(0, 0, 4);
}

void IGraphics::Resize(int w, int h)
{
  {
    WDL_MutexLock lock(plugMutex(mPlug));
    mWidth = w;
    mHeight = h;
    ReleaseMouseCapture();
    PrepDraw();
  }
  if (mPlug) mPlug->ResizeGraphics(w, h);
}

void IGraphics::ReleaseMouseCapture()
{
  mMouseCapture = nullptr;
  mMouseX = mMouseY = -1;
}

void IGraphics::AttachBackground(int id, const char* name, double scale)
{
  IBitmap bitmap = LoadIBitmap(id, name, scale, 1, false);
  mControls.Insert(0, new IBitmapControl(mPlug, 0, 0, -1, &bitmap, IChannelBlend::kBlendClobber));
}

int IGraphics::AttachPanelBackground(const IColor* color)
{
  mControls.Insert(0, new IPanelControl(mPlug, IRECT(0, 0, mWidth, mHeight), color));
  return 0;
}

int IGraphics::AttachControl(IControl* control)
{
  mControls.Add(control);
  return mControls.GetSize() - 1;
}

int IGraphics::AttachLayer(ControlLayer* layer)
{
  mLayers.Add(layer);
  return mLayers.GetSize() - 1;
}

void IGraphics::AttachKeyCatcher(IControl* control)
{
  if (mKeyCatcher != control) delete mKeyCatcher;
  mKeyCatcher = control;
}

// ---- value routes ----

void IGraphics::SetParameterFromPlug(int paramIdx, double value, bool normalized)
{
  WDL_MutexLock lock(plugMutex(mPlug));
  if (!normalized)
  {
    IParam* param = mPlug ? mPlug->GetParam(paramIdx) : nullptr;
    if (!param) return;
    // A one-value range normalises to 0, never to NaN.
    const double plain = value;
    value = param->GetNormalized(plain);
    param->SetNormalized(value);
    // The way through the normalised value is not exact for a continuous parameter
    // (47 came back as 46.99999999999999): a value within the range is kept as given.
    if (param->Type() == kTypeDouble && plain >= param->GetMin() && plain <= param->GetMax()) param->Set(plain);
  }
  for (int i = 0; i < mControls.GetSize(); ++i) mControls.Get(i)->SetParamValueFromPlug(paramIdx, value);
  for (int i = 0; i < mLayers.GetSize(); ++i) mLayers.Get(i)->SetParameterFromPlug(paramIdx, value, normalized);
}

void IGraphics::SetControlFromPlug(int controlIdx, double normalizedValue)
{
  WDL_MutexLock lock(plugMutex(mPlug));
  if (IControl* control = mControls.Get(controlIdx)) control->SetValueFromPlug(normalizedValue);
}

void IGraphics::SetParameterFromGUI(int paramIdx, double normalizedValue)
{
  WDL_MutexLock lock(plugMutex(mPlug));
  for (int i = 0; i < mControls.GetSize(); ++i)
    if (mControls.Get(i)->ParamIdx() == paramIdx) mControls.Get(i)->SetValueFromUserInput(normalizedValue);
}

void IGraphics::SetAllControlsDirty()
{
  WDL_MutexLock lock(plugMutex(mPlug));
  for (int i = 0; i < mControls.GetSize(); ++i) mControls.Get(i)->SetDirty(false);
}

void IGraphics::HideControl(int paramIdx, bool hide)
{
  WDL_MutexLock lock(plugMutex(mPlug));
  for (int i = 0; i < mControls.GetSize(); ++i)
    if (mControls.Get(i)->ParamIdx() == paramIdx) mControls.Get(i)->Hide(hide);
}

void IGraphics::GrayOutControl(int paramIdx, bool gray)
{
  WDL_MutexLock lock(plugMutex(mPlug));
  for (int i = 0; i < mControls.GetSize(); ++i)
    if (mControls.Get(i)->ParamIdx() == paramIdx) mControls.Get(i)->GrayOut(gray);
}

void IGraphics::ClampControl(int paramIdx, double lo, double hi, bool normalized)
{
  WDL_MutexLock lock(plugMutex(mPlug));
  if (!normalized)
  {
    const IParam* param = mPlug ? mPlug->GetParam(paramIdx) : nullptr;
    if (!param) return;
    lo = param->GetNormalized(lo);
    hi = param->GetNormalized(hi);
  }
  for (int i = 0; i < mControls.GetSize(); ++i)
    if (mControls.Get(i)->ParamIdx() == paramIdx) mControls.Get(i)->Clamp(lo, hi);
}

void IGraphics::SetStrictDrawing(bool strict)
{
  WDL_MutexLock lock(plugMutex(mPlug));
  mStrict = strict;
  SetAllControlsDirty();
}

void IGraphics::OnGUIIdle()
{
  for (int i = 0; i < mControls.GetSize(); ++i) mControls.Get(i)->OnGUIIdle();
}

// ---- user input of a value ----

void IGraphics::PromptUserInput(IControl* control, IParam* param, IRECT* rect)
{
  if (!control || !param || !rect) return;
  const IParamKind kind = param->Type();
  static_assert(IControl::kDisplayBufferLen >= IParam::kDisplayTextLen, "a display entry must fit");
  char current[IControl::kDisplayBufferLen];

  if ((kind == kTypeBool || kind == kTypeEnum) && param->GetNDisplayTexts())
  {
    param->GetDisplayForHost(param->Value(), false, current, true);
    IPopupMenu menu;
    for (int i = 0; i < param->GetNDisplayTexts(); ++i)
    {
      const char* text = param->GetDisplayTextAtIdx(i);
      menu.AddItem(text, -1, strcmp(text, current) == 0 ? IPopupMenuItem::kChecked : IPopupMenuItem::kNoFlags);
    }
    if (IPopupMenu* chosen = CreateIPopupMenu(&menu, rect))
      control->SetValueFromUserInput(param->GetNormalized((double)chosen->GetChosenItemIdx()));
    return;
  }

  param->GetDisplayForHost(param->Value(), false, current, kind == kTypeText);
  CreateTextEntry(control, control->GetText(), rect, current, param);
}

void IGraphics::SetFromStringAfterPrompt(IControl* control, IParam* param, char* text)
{
  if (!control || !param) return;
  if (!text) text = (char*)"";
  double value;
  switch (param->Type())
  {
    case kTypeBool:
    case kTypeEnum:
    {
      int v = 0;
      if (!param->MapDisplayText(text, &v)) v = 0;
      value = (double)v;
      break;
    }
    case kTypeText:
    {
      param->SetDisplayText(0, text);
      const double toggle = control->GetValue() == 0.0 ? 1.0 : 0.0;
      param->Set(toggle);
      control->SetValueFromUserInput(toggle);
      value = 0.0;
      break;
    }
    default:
      value = strtod(text, nullptr);
      if (param->GetNegateDisplay()) value = -value;
      break;
  }
  control->SetValueFromUserInput(param->GetNormalized(value));
}

// ---- images and files ----

// The image decoded and brought to the scale, or null with the reason in why (which
// names the image). At the image's own size the decoded bitmap is kept as it is: the
// scaled blit of an equal size is a plain copy of it.
LICE_IBitmap* IGraphics::LoadScaledBitmap(int id, const char* name, double scale, std::string* why)
{
  LICE_IBitmap* loaded = OSLoadBitmap(id, name);
  const int w = loaded ? loaded->getWidth() : 0, h = loaded ? loaded->getHeight() : 0;
  const int sw = (int)((double)w * scale), sh = (int)((double)h * scale);
  char line[512];
  if (!loaded || !loaded->getBits() || sw <= 0 || sh <= 0)
  {
    snprintf(line, sizeof(line), "IGraphics: image %d '%s' cannot be loaded at scale %g; it is drawn as nothing\n", id,
             name ? name : "", scale);
    *why = line;
    delete loaded;
    return nullptr;
  }
  if (sw == w && sh == h) return loaded;
  LICE_MemBitmap* scaled = new LICE_MemBitmap(sw, sh, 4);
  LICE_ScaledBlit(scaled, loaded, 0, 0, sw, sh, 0.0f, 0.0f, (float)w, (float)h, 1.0f, LICE_MODE_BILINEAR);
  delete loaded;
  if (!scaled->getBits())
  {
    snprintf(line, sizeof(line), "IGraphics: image %d '%s' has no room at %d x %d\n", id, name ? name : "", sw, sh);
    *why = line;
    delete scaled;
    return nullptr;
  }
  return scaled;
}

IBitmap IGraphics::LoadIBitmap(int id, const char* name, double scale, int nStates, bool framesAreHoriz)
{
  BitmapStorage& store = bitmapCache();
  LICE_IBitmap* bitmap = store.Find(id, scale);
  if (!bitmap)
  {
    std::string why;
    bool failedBefore = false;
    {
      std::lock_guard<std::mutex> lock(mFailedImagesLock);
      for (size_t i = 0; i < mFailedImages.size() && !failedBefore; ++i)
        if (mFailedImages[i].id == id && mFailedImages[i].scale == scale)
        {
          why = std::move(mFailedImages[i].why);
          mFailedImages.erase(mFailedImages.begin() + (long)i);
          failedBefore = true;
        }
    }
    // Loaded and scaled outside the store's lock; Add keeps the first copy stored.
    LICE_IBitmap* made = failedBefore ? nullptr : LoadScaledBitmap(id, name, scale, &why);
    if (!made)
    {
      ConsoleLog("%s", why.c_str());
      return IBitmap(nullptr, 0, 0, nStates, framesAreHoriz);
    }
    bitmap = store.Add(made, id, scale);
  }
  return IBitmap(bitmap, bitmap->getWidth(), bitmap->getHeight(), nStates, framesAreHoriz);
}

void IGraphics::LoadIBitmaps(const std::vector<ImageRequest>& images, double scale)
{
  BitmapStorage& store = bitmapCache();
  std::vector<size_t> wanted;
  for (size_t i = 0; i < images.size(); ++i)
    if (!store.Find(images[i].id, scale)) wanted.push_back(i);
  std::vector<LICE_IBitmap*> made(images.size(), nullptr);
  std::vector<std::string> why(images.size());
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t k; (k = next.fetch_add(1)) < wanted.size();)
      made[wanted[k]] = LoadScaledBitmap(images[wanted[k]].id, images[wanted[k]].name, scale, &why[wanted[k]]);
  };
  // Decoding is independent from image to image; this thread takes its share. One
  // processor the process may run on is left to the others (the editor's bank scan
  // runs meanwhile, and the first frame waits for it).
  int threads = 1;
  cpu_set_t allowed;
  if (sched_getaffinity(0, sizeof(allowed), &allowed) == 0) threads = CPU_COUNT(&allowed) - 1;
  threads = std::max(1, std::min({threads, 4, (int)wanted.size()}));
  std::vector<std::thread> helpers;
  for (int t = 1; t < threads; ++t)
  {
    try
    {
      helpers.emplace_back(work);
    }
    catch (const std::system_error&)
    {
      break;  // no thread to be had: fewer do the work
    }
  }
  work();
  for (std::thread& helper : helpers) helper.join();
  std::lock_guard<std::mutex> lock(mFailedImagesLock);
  for (size_t i : wanted)
    if (made[i])
      store.Add(made[i], images[i].id, scale);
    else
      mFailedImages.push_back({images[i].id, scale, std::move(why[i])});
}

IBitmap IGraphics::getImageById(int id, int nStates, bool framesAreHoriz, double scale)
{
  LICE_IBitmap* bitmap = bitmapCache().Find(id, scale);
  if (!bitmap)
  {
    ConsoleLog("IGraphics: image %d was not loaded at scale %g\n", id, scale);
    return IBitmap(nullptr, 0, 0, nStates, framesAreHoriz);
  }
  return IBitmap(bitmap, bitmap->getWidth(), bitmap->getHeight(), nStates, framesAreHoriz);
}

void IGraphics::RetainBitmap(IBitmap* bitmap)
{
  if (bitmap && bitmap->mData) bitmapCache().Add(bitmap->mData, -1, 0.0);
}

void IGraphics::ReleaseBitmap(IBitmap* bitmap)
{
  if (bitmap) bitmapCache().Remove(bitmap->mData);
}

LoadedResource IGraphics::LoadFile(int id, const char* name)
{
  LoadedResource file = OSLoadFile(id, name);
  mLoadedFileSize = file.data ? file.size : 0;
  return file;
}

LICE_IFont* IGraphics::CacheFont(IText* text)
{
  FontStorage& store = fontCache();
  if (LICE_IFont* font = store.Find(text))
  {
    text->mCached = font;
    return font;
  }

  LICE_CachedFont* font = new LICE_CachedFont;
  const int weight = text->mStyle == IText::kStyleBold ? 700 : 400;
  const char italic = text->mStyle == IText::kStyleItalic ? 1 : 0;
  const int escapement = text->mOrientation * 10;
  static const char kQualities[] = {0, 3, 4, 4};
  const char quality = text->mQuality < 0 ? 0 : (text->mQuality <= 3 ? kQualities[text->mQuality] : 3);
  const int size = text->mSize < 2 ? 2 : text->mSize;

  int height = size;
  for (int attempt = 0; attempt < 2; ++attempt)
  {
    HFONT hfont = CreateFont(height, 0, escapement, escapement, weight, italic, 0, 0, 0, 0, 0, quality, 0,
                             text->mFont);
    if (!hfont)
    {
      delete font;
      return nullptr;
    }
    font->SetFromHFont(hfont, LICE_FONT_OWNSFONT | LICE_FONT_NATIVE);
    const int lineHeight = font->GetLineHeight();
    if (attempt > 0 || lineHeight == height || lineHeight <= 0) break;
    // Ask again for the size whose line height comes nearest the style's size.
    height = (int)((double)size * (double)size / (double)lineHeight + 0.5);
    if (height < 2) height = 2;
  }

  LICE_IFont* kept = store.Add(font, text);
  text->mCached = kept;
  return kept;
}
