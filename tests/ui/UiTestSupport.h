#pragma once
// An editor configuration read from XML texts in memory into a headless graphics
// object with the editor's 529 parameters. Images are plain bitmaps whose size
// depends only on their id, so every test sees the same ones.

#include "config/config_test_support.h"
#include "gui/GuiTestUtil.h"
#include "plug/IParam.h"
#include "ui/ConfigGraphics.h"
#include "ui/ControlAction.h"
#include "ui/ControlLayer.h"
#include "ui/EditorUIConfig.h"

#include "config/ParamIds.h"

#include <gtest/gtest.h>

#include <functional>
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
    testing::internal::CaptureStdout();
    config.readUIConfig(&graphics, nullptr, nullptr, 0, scale);
    console = testing::internal::GetCapturedStdout();
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

