// Host detection, the Cocoa view property and view factory, the Carbon view
// entry, and the real plug-in bundle's exported names.

#include "TestPlug.h"
#include "platform/appkit/AppKit.h"

#include "TestHost.h"
#include "gui/IGraphics.h"
#include "platform/carbon/Gestalt.h"
#include "plug/IPlugAUViewFactory.h"

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <jack/jack.h>
#include <string>
#include <unistd.h>

namespace {

std::string Text(CFStringRef s)
{
  const char* p = s ? CFStringGetCStringPtr(s, kCFStringEncodingUTF8) : nullptr;
  return p ? p : "<null>";
}

int gOpened = 0, gCarbonOpened = 0, gClosed = 0;
int gViewTag = 0, gControlTag = 0;

class FakeGraphics : public IGraphics
{
public:
  explicit FakeGraphics(IPlugBase* plug) : IGraphics(plug, 100, 50) {}
  void PrepDraw() override {}
  void SetParameterFromPlug(int, double, bool) override {}
  void PromptForFile(WDL_String*, EFileAction, WDL_String*, char*) override {}
  void* OpenWindow(void* parent) override
  {
    ++gOpened;
    return parent ? nullptr : &gViewTag;
  }
  void* OpenWindow(void*, void*, short, short) override
  {
    ++gCarbonOpened;
    return &gControlTag;
  }
  void CloseWindow() override { ++gClosed; }
};

class TestView : public IPlugAUViewFactory
{
public:
  CFStringRef description() override { return CFStringCreateWithCString(nullptr, "Test View", kCFStringEncodingUTF8); }
};

}  // namespace

AU_COCOA_UI_EXPORT_CLASS(TestView);

namespace {

using Hosts = AUFixture;

TEST(HostLookUp, NamesAndIdentifiersByTheTablesOrder)
{
  const struct { const char* name; int host; } cases[] = {
      {"REAPER64", kHostReaper},
      {"org.example.reaper", kHostReaper},
      {"Logic and Live together", kHostAbletonLive},
      {"org.example.garageband10", kHostGarageBand},
      {"org.example.logic10", kHostLogic},
      {"Digital Performer", kHostDigitalPerformer},
      {"Ardour", kHostArdour},
      {"davrel-host", kHostUnknown},
      {"", kHostUnknown},
      {nullptr, kHostUnknown},
  };
  for (const auto& c : cases) EXPECT_EQ(LookUpHost(c.name), c.host) << (c.name ? c.name : "(null)");
  const std::string longName = std::string(300, 'x') + "cubase";  // cut before it is lowered
  EXPECT_EQ(LookUpHost(longName.c_str()), kHostUnknown);
  const struct { int host; const char* text; } names[] = {
      {5, "Sonar"}, {12, "Unknown"}, {29, "Unknown"}, {-1, "Unknown"}, {27, "VST3PluginTestHost"}, {22, "GarageBand"}};
  for (const auto& n : names)
  {
    char buf[kHostNameStrLen];
    GetHostNameStr(n.host, buf);
    EXPECT_STREQ(buf, n.text) << n.host;
  }
}

TEST_F(Hosts, TheMainBundleNamesTheHostUntilTheHostNamesItself)
{
  Open();
  // This program's bundle identifier names both Live and Logic: Live is tested first.
  EXPECT_EQ(plug->GetHost(), kHostAbletonLive);
  EXPECT_EQ(plug->GetHostVersion(false), 0);
  AUHostIdentifier id = {CFSTR("GarageBand"), {3, 0x21, 0, 0}};
  ASSERT_EQ(Set(kAudioUnitProperty_HostIdentifier, 0, 0, &id, sizeof(id)), noErr);
  EXPECT_EQ(plug->GetHost(), kHostGarageBand);
  EXPECT_EQ(plug->GetHostVersion(false), 0x30201);
  EXPECT_EQ(plug->Count("OnHostIdentified"), 1);
  char version[kVersionStrLen];
  plug->GetHostVersionStr(version);
  EXPECT_STREQ(version, "v3.2.1");
}

TEST_F(Hosts, ViewPropertiesNeedGraphicsTheSystemAndTheBundle)
{
  PlugSpec spec;
  spec.bundleID = "com.example.Live-Logic Host";  // this program's own bundle
  Open(spec);
  UInt32 size = 0;
  EXPECT_EQ(AudioUnitGetPropertyInfo(unit, kAudioUnitProperty_CocoaUI, 0, 0, &size, nullptr), kAudioUnitErr_InvalidProperty);
  plug->AttachGraphics(new FakeGraphics(plug));

  ComponentDescription ui = {};
  size = sizeof(ui);
  ASSERT_EQ(Get(kAudioUnitProperty_GetUIComponentList, 0, 0, &ui, &size), noErr);
  EXPECT_EQ(ui.componentType, MakeOSType("auvw"));
  EXPECT_EQ(ui.componentSubType, kTestSubType);
  EXPECT_EQ(ui.componentManufacturer, kTestMfr);

  AudioUnitCocoaViewInfo info = {};
  size = sizeof(info);
  ASSERT_EQ(Get(kAudioUnitProperty_CocoaUI, 0, 0, &info, &size), noErr);
  EXPECT_EQ(Text(info.mCocoaAUViewClass[0]), "TestView");
  CFBundleRef bundle = CFBundleCreate(nullptr, info.mCocoaAUViewBundleLocation);
  EXPECT_EQ(bundle, CFBundleGetMainBundle());
  const AUCocoaUIClass* cls = AUCocoaUIClassNamed(bundle, info.mCocoaAUViewClass[0]);
  ASSERT_NE(cls, nullptr);
  AUCocoaUIBase* view = cls->make();
  EXPECT_EQ(view->interfaceVersion(), 0u);
  gOpened = 0;
  EXPECT_EQ(view->uiViewForAudioUnit(unit, 400, 300), &gViewTag);
  EXPECT_EQ(gOpened, 1);
  EXPECT_EQ(static_cast<IPlugAUViewFactory*>(view)->GetPlug(), plug);
  delete view;
  CFRelease(info.mCocoaAUViewBundleLocation);
  CFRelease(info.mCocoaAUViewClass[0]);

  ReplaceGestaltValue(gestaltSystemVersion, 0x1049);
  EXPECT_EQ(Get(kAudioUnitProperty_CocoaUI, 0, 0, &info, &size), kAudioUnitErr_InvalidProperty);
  ReplaceGestaltValue(gestaltSystemVersion, 0x1068);
}

TEST_F(Hosts, ACocoaViewWithoutItsBundleIsNotOffered)
{
  Open();  // the default bundle identifier names no loaded bundle
  plug->AttachGraphics(new FakeGraphics(plug));
  AudioUnitCocoaViewInfo info = {};
  UInt32 size = sizeof(info);
  EXPECT_EQ(Get(kAudioUnitProperty_CocoaUI, 0, 0, &info, &size), kAudioUnitErr_InvalidProperty);
  EXPECT_EQ(info.mCocoaAUViewBundleLocation, nullptr);
}

TEST_F(Hosts, TheCarbonViewEntryOpensOnlyWhenThereAreGraphics)
{
  Open();
  const ComponentDescription d = {kAudioUnitCarbonViewComponentType, kTestSubType, kTestMfr, 0, 0};
  Component viewComp = RegisterComponent(&d, IPlugAU::IPlugAUCarbonViewEntry, "view");
  ComponentInstance viewUnit = nullptr;
  ASSERT_EQ(OpenAComponent(viewComp, &viewUnit), noErr);
  ControlRef control = nullptr;
  const Float32Point at = {0, 0}, size = {100, 50};
  EXPECT_EQ(AudioUnitCarbonViewCreate(viewUnit, unit, nullptr, nullptr, &at, &size, &control), badComponentSelector);
  plug->AttachGraphics(new FakeGraphics(plug));
  gCarbonOpened = gClosed = 0;
  EXPECT_EQ(AudioUnitCarbonViewCreate(viewUnit, unit, nullptr, nullptr, &at, &size, &control), noErr);
  EXPECT_EQ((void*)control, (void*)&gControlTag);
  EXPECT_EQ(gCarbonOpened, 1);
  EXPECT_EQ(CallComponent(viewUnit, 5, {}), badComponentSelector);
  EXPECT_EQ(CloseComponent(viewUnit), noErr);
  EXPECT_EQ(gClosed, 1);
  UnregisterComponent(viewComp);
}

int gHostJackErrors = 0;
void CountHostJackErrors(const char*) { ++gHostJackErrors; }

// A host's plug-in scan loads the library and unloads it, then the host goes on
// with JACK: a library without an instance leaves JACK's error function as it
// found it. One that had an instance stays loaded (its threads may outlive it) and
// passes JACK's error lines on to the function it found: a second copy of the
// plug-in (the same bundle installed twice) chained after it, the first unloaded,
// still calls into mapped code.
TEST(RealBundle, UnloadedItLeavesJacksErrorFunctionAsItFoundIt)
{
  const auto jackError = [] {
    jack_status_t status;
    if (jack_client_t* c = jack_client_open("davrel-unload", JackNoStartServer, &status)) jack_client_close(c);
  };
  EXPECT_EXIT(
      {
        setenv("JACK_DEFAULT_SERVER", ("davrel-none-" + std::to_string(getpid())).c_str(), 1);
        setenv("JACK_NO_START_SERVER", "1", 1);
        jack_set_error_function(&CountHostJackErrors);
        // The copy: another file, so the loader takes it for another library.
        const std::string copy = "/tmp/davrel-copy-" + std::to_string(getpid());
        const std::string made = "mkdir -p '" + copy + "' && cp '" + DAVREL_PLUGIN_BUNDLE + "/Davrel Editor.so' '" +
                                 DAVREL_PLUGIN_BUNDLE + "/Info.txt' '" + copy + "/' && ln -s '" +
                                 DAVREL_PLUGIN_BUNDLE + "/resources' '" + copy + "/resources'";
        if (std::system(made.c_str()) != 0) _exit(20);
        TestHost first;
        TestHost second;
        std::string error;
        if (!first.LoadBundle(DAVREL_PLUGIN_BUNDLE, &error, TestHost::kUnloadable)) _exit(21);
        AudioUnit a = first.Open(&error);
        if (!a) _exit(22);
        first.Close(a);
        if (!second.LoadBundle(copy, &error, TestHost::kUnloadable)) _exit(23);
        AudioUnit b = second.Open(&error);
        if (!b) _exit(24);
        second.Close(b);
        first.Unload();
        std::system(("rm -rf '" + copy + "'").c_str());
        int before = gHostJackErrors;
        jackError();
        if (gHostJackErrors <= before) _exit(25);
        second.Unload();
        before = gHostJackErrors;
        jackError();
        _exit(gHostJackErrors > before ? 0 : 26);
      },
      testing::ExitedWithCode(0), "");

  const std::string library = std::string(DAVREL_PLUGIN_BUNDLE) + "/Davrel Editor.so";
  for (bool hostSetsItsOwnAfter : {false, true})
  {
    SCOPED_TRACE(hostSetsItsOwnAfter ? "the host set its own after the load" : "the host's own set before the load");
    EXPECT_EXIT(
        {
          setenv("JACK_DEFAULT_SERVER", ("davrel-none-" + std::to_string(getpid())).c_str(), 1);
          if (!hostSetsItsOwnAfter) jack_set_error_function(&CountHostJackErrors);
          void* lib = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
          if (!lib) _exit(10);
          jackError();
          if (!hostSetsItsOwnAfter && gHostJackErrors == 0) _exit(11);
          if (hostSetsItsOwnAfter) jack_set_error_function(&CountHostJackErrors);
          dlclose(lib);
          if (jack_error_callback != &CountHostJackErrors) _exit(12);
          const int before = gHostJackErrors;
          jackError();
          _exit(gHostJackErrors > before ? 0 : 13);
        },
        testing::ExitedWithCode(0), "");
  }
}

TEST(RealBundle, ExportsItsEntriesAndItsViewClass)
{
  TestHost host;
  std::string error;
  ASSERT_TRUE(host.LoadBundle(DAVREL_PLUGIN_BUNDLE, &error)) << error;
  EXPECT_EQ(host.Description().componentType, MakeOSType("aumu"));
  EXPECT_EQ(host.Description().componentSubType, MakeOSType("dvrx"));
  EXPECT_EQ(host.Description().componentManufacturer, MakeOSType("QhS1"));
  EXPECT_NE(host.ViewEntry(), nullptr);
  EXPECT_EQ(Text(CFBundleGetIdentifier(host.Bundle())), "com.Quiet Harbor Sound.audiounit.Davrel Editor x64");

  AudioUnit unit = host.Open(&error);
  ASSERT_NE(unit, nullptr) << error;
  EXPECT_EQ(CallComponentVersion(unit), 0x20008);
  // Loaded, its bundle is found by identifier, as the view property needs.
  EXPECT_EQ(CFBundleGetBundleWithIdentifier(CFSTR("com.Quiet Harbor Sound.audiounit.Davrel Editor x64")), host.Bundle());
  const AUCocoaUIClass* cls = AUCocoaUIClassNamed(host.Bundle(), CFSTR("Davrel_View_64"));
  ASSERT_NE(cls, nullptr);
  AUCocoaUIBase* view = cls->make();
  CFStringRef d = view->description();
  EXPECT_EQ(Text(d), "Davrel Editor View");
  CFRelease(d);
  EXPECT_EQ(view->interfaceVersion(), 0u);
  // The editor: the graphics object's view at the editor's size.
  NSView* editor = static_cast<NSView*>(view->uiViewForAudioUnit(unit, 0, 0));
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->frame().size.width, 1500);
  EXPECT_EQ(editor->frame().size.height, 667);
  delete view;
  EXPECT_EQ(AUCocoaUIClassNamed(host.Bundle(), CFSTR("Davrel_View_65")), nullptr);
  UInt32 size = 0;
  EXPECT_EQ(AudioUnitGetPropertyInfo(unit, kAudioUnitProperty_ParameterList, 0, 0, &size, nullptr), noErr);
  EXPECT_EQ(size, 0u);
  AudioUnitParameterValue v;
  EXPECT_EQ(AudioUnitGetParameter(unit, 528, 0, 0, &v), noErr);
  EXPECT_EQ(AudioUnitGetParameter(unit, 529, 0, 0, &v), kAudioUnitErr_InvalidElement);
  EXPECT_EQ(host.Close(unit), noErr);
}

}  // namespace
