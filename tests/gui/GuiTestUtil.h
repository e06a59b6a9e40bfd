#pragma once
// A plug-in that records which road each value took, a headless graphics object that
// records what it would have shown, and a control that records what reached it.

#include "TestFiles.h"
#include "gui/IControl.h"
#include "gui/IControls.h"
#include "gui/IGraphics.h"
#include "gui/IPopupMenu.h"
#include "raster/lice.h"
#include "raster/lice_png.h"
#include "tests/QuietPlug.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// One change the plug-in saw: which road (1 user, 2 hardware, 'B'/'E' gesture, 'I'
// every value pushed to it, changed or not) and whether the plug-in's mutex was held.
struct RouteCall
{
  char route;
  int idx;
  double value;
  bool mutexHeld;
};

class RecordingPlug : public QuietPlug
{
public:
  explicit RecordingPlug(int nParams = 16)
    : QuietPlug(nParams, "2-2", 0, "Davrel Editor", "", "Quiet Harbor Sound", 0x20008, 0, 0, 0, true, true, true,
                kAPIAU)
  {
    initialize(0, nParams, "2-2", 0, "Davrel Editor", "", "Quiet Harbor Sound", 0x20008, 0, 0, 0, true, true, true);
    addNonAutomateParamCount(nParams);
  }

  void OnParamChange(int idx) override { record('1', idx); }
  void OnParamChange2(int idx) override
  {
    record('2', idx);
    if (onChange2) onChange2(idx);
  }
  void BeginInformHostOfParamChange(int idx) override { calls.push_back({'B', idx, 0.0, mMutex.IsHeldByCaller()}); }
  void InformHostOfParamChange(int idx, double normalized) override
  {
    calls.push_back({'I', idx, normalized, mMutex.IsHeldByCaller()});
  }
  void EndInformHostOfParamChange(int idx) override { calls.push_back({'E', idx, 0.0, mMutex.IsHeldByCaller()}); }
  void ResizeGraphics(int w, int h) override { resized.push_back({w, h}); }

  // Only the user (1) and hardware (2) roads.
  std::vector<RouteCall> routes() const
  {
    std::vector<RouteCall> r;
    for (const RouteCall& c : calls)
      if (c.route == '1' || c.route == '2') r.push_back(c);
    return r;
  }

  // Every value pushed for the parameter, changed or not.
  std::vector<double> pushes(int idx) const
  {
    std::vector<double> r;
    for (const RouteCall& c : calls)
      if (c.route == 'I' && c.idx == idx) r.push_back(c.value);
    return r;
  }

  std::vector<RouteCall> calls;
  std::vector<std::pair<int, int>> resized;
  std::function<void(int)> onChange2;

private:
  void record(char route, int idx)
  {
    calls.push_back({route, idx, GetParam(idx) ? GetParam(idx)->Value() : 0.0, mMutex.IsHeldByCaller()});
  }
};

class HeadlessGraphics : public IGraphics
{
public:
  HeadlessGraphics(IPlugBase* plug, int w = 200, int h = 100, int fps = 25) : IGraphics(plug, w, h, fps) {}

  bool DrawScreen(IRECT* rect) override
  {
    screens.push_back(*rect);
    return true;
  }
  // Answers with the item chooseIndex (none when it is below 0); remembers the menu.
  IPopupMenu* CreateIPopupMenu(IPopupMenu* menu, IRECT* rect) override
  {
    menuTexts.clear();
    menuChecked.clear();
    for (int i = 0; i < menu->GetNItems(); ++i)
    {
      menuTexts.push_back(menu->GetItemText(i));
      menuChecked.push_back(menu->IsItemChecked(i));
    }
    menuRect = *rect;
    ++menusShown;
    if (chooseIndex < 0) return nullptr;
    menu->SetChosenItemIdx(chooseIndex);
    return menu;
  }
  void CreateTextEntry(IControl* control, IText*, IRECT* rect, const char* str, IParam* param) override
  {
    entryControl = control;
    entryRect = *rect;
    entryText = str;
    entryParam = param;
    ++entriesOpened;
  }

  // Answers with the next scripted path ("" cancels); a panel with no answer left
  // fails the test instead of waiting.
  void PromptForFile(WDL_String* file, EFileAction action, WDL_String* dir, char* extensions) override
  {
    filePrompts.push_back({file ? file->Get() : "", action, dir ? dir->Get() : "", extensions ? extensions : ""});
    if (fileAnswers.empty())
    {
      ADD_FAILURE() << "a file panel was opened with no scripted answer";
      if (file) file->Set("");
      return;
    }
    if (file) file->Set(fileAnswers.front().c_str());
    fileAnswers.erase(fileAnswers.begin());
  }
  // Opens the addresses listed in openableURLs; records every attempt.
  bool OpenURL(const char* url, const char* title, const char* confirm, const char* errMsg) override
  {
    urlsTried.push_back({url ? url : "", title ? title : "", confirm != nullptr || errMsg != nullptr});
    for (const std::string& u : openableURLs)
      if (url && u == url) return true;
    return false;
  }

  struct FilePrompt
  {
    std::string file;
    EFileAction action;
    std::string dir, extensions;
  };
  struct URLAttempt
  {
    std::string url, title;
    bool extraTexts;
  };

  std::vector<IRECT> screens;
  std::vector<std::string> fileAnswers, openableURLs;
  std::vector<FilePrompt> filePrompts;
  std::vector<URLAttempt> urlsTried;
  int chooseIndex = -1, menusShown = 0, entriesOpened = 0;
  std::vector<std::string> menuTexts;
  std::vector<bool> menuChecked;
  IRECT menuRect, entryRect;
  std::string entryText;
  IControl* entryControl = nullptr;
  IParam* entryParam = nullptr;
};

// Records every event and draw into a shared journal as "name:event".
class RecordingControl : public IControl
{
public:
  RecordingControl(IPlugBase* plug, const IRECT& rect, int paramIdx = -1, const char* name = "",
                   std::vector<std::string>* journal = nullptr)
    : IControl(plug, rect, paramIdx), mName(name), mJournal(journal)
  {
  }
  ~RecordingControl() override { note("deleted"); }

  bool Draw(IGraphics*) override
  {
    ++draws;
    note("draw");
    return true;
  }
  void OnMouseDown(int x, int y, IMouseMod* mod) override
  {
    note("down");
    IControl::OnMouseDown(x, y, mod);
  }
  void OnMouseUp(int, int, IMouseMod*) override { note("up"); }
  void OnMouseDrag(int, int, int dX, int dY, IMouseMod*) override
  {
    note("drag");
    lastDX = dX;
    lastDY = dY;
  }
  void OnMouseDblClick(int x, int y, IMouseMod* mod) override
  {
    note("dbl");
    IControl::OnMouseDblClick(x, y, mod);
  }
  void OnMouseWheel(int x, int y, IMouseMod* mod, int d) override
  {
    note("wheel");
    IControl::OnMouseWheel(x, y, mod, d);
  }
  bool OnKeyDown(int, int, int key) override
  {
    note("key");
    lastKey = key;
    return takesKeys;
  }
  void OnMouseOver(int, int, IMouseMod*) override { note("over"); }
  void OnMouseOut() override { note("out"); }

  void note(const char* event)
  {
    if (mJournal) mJournal->push_back(mName + ":" + event);
  }

  std::string mName;
  std::vector<std::string>* mJournal;
  int draws = 0, lastDX = 0, lastDY = 0, lastKey = -1;
  bool takesKeys = false;
};

// Runs whatever the test gives it inside the drawing pass, so that operations see
// the pass's area.
class FnControl : public IControl
{
public:
  explicit FnControl(const IRECT& rect = IRECT(0, 0, 200, 100)) : IControl(nullptr, rect) {}
  bool Draw(IGraphics* g) override
  {
    if (fn) fn(g);
    return true;
  }
  std::function<void(IGraphics*)> fn;
};

// The controls tests' view: eight parameters, those not left out ranging 0 to 1, on
// a white 200 x 100 headless view attached to the plug-in.
class ControlsOnWhiteTest : public ::testing::Test
{
protected:
  explicit ControlsOnWhiteTest(std::vector<int> leftOut = {}) : mLeftOut(std::move(leftOut)) {}
  void SetUp() override
  {
    plug = new RecordingPlug(8);
    for (int i = 0; i < 8; ++i)
      if (std::find(mLeftOut.begin(), mLeftOut.end(), i) == mLeftOut.end())
        plug->GetParam(i)->InitDouble("p", 0.0, 0.0, 1.0, 0.0001);
    g = new HeadlessGraphics(plug, 200, 100);
    g->AttachPanelBackground(&COLOR_WHITE);
    plug->AttachGraphics(g);
  }
  void TearDown() override { delete plug; }

  // A control whose value (and default) came from the plug-in, the journal emptied.
  template <class C>
  C* addAt(C* control, double value)
  {
    g->AttachControl(control);
    control->SetValueFromPlug(value);
    plug->calls.clear();
    return control;
  }
  void drawAll()
  {
    IRECT all(0, 0, 200, 100);
    g->SetAllControlsDirty();
    g->Draw(&all);
  }
  int redAt(int x, int y) { return g->GetPoint(x, y).R; }

  RecordingPlug* plug = nullptr;
  HeadlessGraphics* g = nullptr;
  IMouseMod left{true}, right{false, true};

private:
  std::vector<int> mLeftOut;
};

// An RGBA PNG of w x h whose pixel (x, y) has red x, green y, blue 7, alpha 255.
inline bool writeTestPNG(const std::string& path, int w, int h)
{
  return LICE_WritePNGRows(path.c_str(), w, h, true, false, [w](int y, unsigned char* row) {
    for (int x = 0; x < w; ++x, row += 4)
    {
      row[0] = (unsigned char)x;
      row[1] = (unsigned char)y;
      row[2] = 7;
      row[3] = 255;
    }
  });
}
