#pragma once
// An editor configuration read from XML texts in memory into a headless graphics
// object with the editor's 529 parameters. Images are plain bitmaps whose size
// depends only on their id, so every test sees the same ones.

#include "ConsoleCapture.h"
#include "config/config_test_support.h"
#include "gui/GuiTestUtil.h"
#include "plug/IParam.h"
#include "ui/ConfigGraphics.h"
#include "ui/ControlAction.h"
#include "ui/ControlLayer.h"
#include "ui/DisplayLines.h"
#include "ui/EditorUIConfig.h"
#include "ui/TabSwitchFunctions.h"

#include "config/ParamIds.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>

class SizedImageGraphics : public HeadlessGraphics
{
public:
  using HeadlessGraphics::HeadlessGraphics;
  // 200 x 40 for the timbre protector (a single image laid side by side), else a
  // 20-pixel square per frame of the table's strip.
  LICE_IBitmap* OSLoadBitmap(int id, const char*) override
  {
    int w = 20, h = 20;
    if (id == 202)
      w = 200, h = 40;
    else
      for (const ImageTableRow& row : editorImages(0))
        if (row.id == id) h = 20 * row.frames;
    auto* bitmap = new LICE_MemBitmap(w, h);
    LICE_Clear(bitmap, LICE_MakePixel(10, 20, 30, 255));
    return bitmap;
  }
};

struct EditorConfig
{
  EditorConfig(const std::string& ui, const std::string& sysex, double scale = 1.0, int nParams = 529)
    : plug(nParams), graphics(&plug, 1500, 667)
  {
    resources.files[UIConfigManager::kUIResource] = encipherBytes(ui);
    resources.files[UIConfigManager::kSysExResource] = encipherBytes(sysex);
    connectConfigToGraphics(&config, &graphics);
    config.setResourceLoader(resources.loader());
    config.readUIConfig(&graphics, nullptr, nullptr, 0, scale);
  }

  // The fake images leave the process-wide bitmap store, so a later test of the
  // real configuration loads the real ones.
  ~EditorConfig() { config.ClearImageCache(); }

  IParam* param(int id) { return plug.GetParam(id); }
  ControlAction* action(int id) { return static_cast<ControlAction*>(param(id)->GetControlAction()); }
  ControlLayer* layer(const std::string& name) { return config.getLayer(name); }
  // The only control of the parameter's record.
  IControl* control(int id)
  {
    ControlAction* a = action(id);
    return a && a->controls.size() == 1 ? a->controls[0] : nullptr;
  }

  RecordingPlug plug;
  SizedImageGraphics graphics;
  MemoryResources resources;
  EditorUIConfig config;
};

// A document with the given elements after a few value lists.
inline std::string uiDocument(const std::string& elements)
{
  return "<uiconfig><valueLists>"
         "<list name=\"four\"><value>a</value><value>b</value><value>c</value><value>d</value></list>"
         "<list name=\"three\"><value>a</value><value>b</value><value>c</value></list>"
         "</valueLists>" +
         elements + "</uiconfig>";
}

// Container 0: a timbre parameter, 1: a shared one.
inline std::string sysexDocument()
{
  return "<sysexlist>"
         "<sysex><values><value>42 30 58 41 10 00 00 00</value></values></sysex>"
         "<sysex><values><value>42 30 58 41 05 03 00 00</value></values></sysex>"
         "<sysex><values><value>42 30 58 41</value></values></sysex>"
         "</sysexlist>";
}

// The editor's configuration in a headless editor-sized window.
struct RealEditor
{
  explicit RealEditor(double scale)
    : plug(kNumParams), graphics(&plug, (int)(1500 * scale), (int)(667 * scale))
  {
    graphics.SetResourceRoot(DAVREL_TEST_BUNDLE_DIR);
    connectConfigToGraphics(&config, &graphics);
    config.setLogSink([this](const std::string& line) { log.push_back(line); });
    CaptureConsole();
    config.readUIConfig(&graphics, nullptr, nullptr, 0, scale);
    console = CapturedConsole();
  }
  ~RealEditor() { config.ClearImageCache(); }

  void collect(ControlLayer* layer, std::vector<IControl*>* out)
  {
    for (int i = 0; i < layer->controls.GetSize(); ++i) out->push_back(layer->controls.Get(i));
    for (int i = 0; i < layer->children.GetSize(); ++i) collect(layer->children.Get(i), out);
  }
  std::vector<IControl*> allControls()
  {
    std::vector<IControl*> all;
    for (int i = 0; i < graphics.NControls(); ++i) all.push_back(graphics.GetControl(i));
    for (int i = 0; i < graphics.NLayers(); ++i) collect(graphics.GetLayer(i), &all);
    return all;
  }
  ControlAction* action(int id) { return static_cast<ControlAction*>(plug.GetParam(id)->GetControlAction()); }

  RecordingPlug plug;
  HeadlessGraphics graphics;
  EditorUIConfig config;
  std::vector<std::string> log;
  std::string console;
};

// The controller as the page switching sees it, over the real configuration, with
// the controller's own overlays and its flags as plain fields.
class RecordingPageHost : public PageHost
{
public:
  // Without the overlays, the configuration's own layers stand for them.
  explicit RecordingPageHost(RealEditor* editor, bool withOverlays = true) : e(editor)
  {
    if (withOverlays)
      for (const char* name : {"LeftPatchPopupMenu", "RightPatchPopupMenu", "BANKEDITMENU", "RightSearchPopupMenu"})
        overlays[name].reset(new ControlLayer(70, name));
    lines.bind(e->config);
  }

  ControlLayer* layerNamed(const char* name) override
  {
    auto it = overlays.find(name);
    return it != overlays.end() ? it->second.get() : e->config.getLayer(name);
  }
  IControl* firstControlOf(int paramIdx) override
  {
    ControlAction* a = e->action(paramIdx);
    return a && !a->controls.empty() ? a->controls[0] : nullptr;
  }
  double paramValue(int paramIdx) override { return e->plug.GetParam(paramIdx)->Value(); }
  bool timbre1LockActive() override { return lock1; }
  bool timbre2LockActive() override { return lock2; }
  bool sharedLockActive() override { return sharedLock; }
  bool patchSearchActive() override { return search; }
  bool hardwareChangeInProgress() override { return hardwareChange; }
  bool midiOutSet() override { return outSet; }
  void setCurrentPart(int timbre) override { currentPart = timbre; }
  void sendMidiMsgAndLog(IMidiMsg* msg) override { sent.push_back({msg->mStatus, msg->mData1, msg->mData2}); }
  void displaySequenceValues(int sequence, const DisplayLines::StepTexts& texts) override
  {
    lines.displaySequence(sequence, texts);
  }
  void allowLibrarianDrag() override { ++drags; }
  void selectLibrarianProgram(int slot) override { selected = slot; }
  void runParamChange(int paramIdx) override { changes.push_back(paramIdx); }
  void hideProgress() override { ++progressHidden; }

  void set(int paramIdx, double value) { e->plug.GetParam(paramIdx)->Set(value); }
  bool shown(const char* name) { return layerNamed(name)->visible; }
  bool greyed(const char* name)
  {
    ControlLayer* l = layerNamed(name);
    return l->controls.GetSize() && l->controls.Get(0)->IsGrayed();
  }
  bool greyedControl(int paramIdx) { return firstControlOf(paramIdx)->IsGrayed(); }

  RealEditor* e;
  std::map<std::string, std::unique_ptr<ControlLayer>> overlays;
  DisplayLines lines;
  bool lock1 = false, lock2 = false, sharedLock = false, search = false, hardwareChange = false, outSet = true;
  int currentPart = -1, drags = 0, selected = -1, progressHidden = 0;
  std::vector<std::array<int, 3>> sent;
  std::vector<int> changes;
};
