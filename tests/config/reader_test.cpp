#include "ConsoleCapture.h"
#include "config_test_support.h"

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <random>

namespace {

const char* kSysEx =
    "<sysexlist><sysex><values><value>42 30 58 41 2A 00 00 00</value></values></sysex></sysexlist>";
const char* kUI =
    "<uiconfig><valueLists><list name=\"tempoValues\"><value>120</value></list></valueLists>"
    "<layer name=\"main\"/></uiconfig>";

// Records what the walk is handed and what already exists when it starts.
class RecordingReader : public UIConfigManager
{
public:
  int walks = 0;
  std::string firstNode;
  ControlLayer* layer = reinterpret_cast<ControlLayer*>(1);
  int channel = 0;
  size_t sysexAtWalk = 0;
  int imagesAtWalk = 0, paramsAtWalk = 0, listsAtWalk = 0;

  void processXMLElement(tinyxml2::XMLNode* node, ControlLayer* parent, int c) override
  {
    ++walks;
    const tinyxml2::XMLElement* e = node ? node->ToElement() : nullptr;
    firstNode = e ? e->Name() : (node ? "(not an element)" : "(none)");
    layer = parent;
    channel = c;
    sysexAtWalk = sysExContainers().size();
    imagesAtWalk = imageCount();
    paramsAtWalk = paramNames().size();
    listsAtWalk = valueListCount();
  }
};

struct Fixture
{
  RecordingReader cfg;
  MemoryResources files;
  LogLines log;

  Fixture(const std::string& sysex, const std::string& ui)
  {
    files.files[sysexResourceName()] = encipherBytes(sysex);
    files.files[uiResourceName()] = encipherBytes(ui);
    cfg.setResourceLoader(files.loader());
    cfg.setLogSink(log.sink());
  }
  void read() { cfg.readUIConfig(nullptr, nullptr, nullptr, 0, 1.0); }
};

}  // namespace

TEST(ConfigReader, ReadsTheGeneratedBundleResources)
{
  RecordingReader cfg;
  auto bundle = std::make_shared<BundleResources>(DAVREL_TEST_BUNDLE_DIR);
  cfg.setResourceLoader([bundle](int id, const char* name) { return bundle->LoadFile(id, name); });
  CaptureConsole();
  cfg.readUIConfig(nullptr, nullptr, nullptr, 0, 1.0);
  EXPECT_EQ(CapturedConsole(), "") << "no problem is reported";

  // One container per sysex element of the source, each with a template that
  // reads as data bytes and gives a lookup key.
  tinyxml2::XMLDocument sysexSource;
  ASSERT_EQ(sysexSource.LoadFile(DAVREL_TEST_SOURCE_DIR "/resources/sysex.xml"), tinyxml2::XML_SUCCESS);
  size_t elements = 0;
  for (auto* e = sysexSource.RootElement()->FirstChildElement("sysex"); e; e = e->NextSiblingElement()) ++elements;
  ASSERT_EQ(cfg.sysExContainers().size(), elements);
  ASSERT_GT(elements, 100u);
  for (const SysExContainer& container : cfg.sysExContainers())
  {
    ASSERT_EQ(container.values.size(), 1u);
    std::vector<int> bytes;
    ASSERT_TRUE(cfg.parseSysExTemplate(container.values[0][0], &bytes));
    unsigned char key[4];
    ASSERT_TRUE(SysExControlContainer::keyOfMessage(bytes, 7, key));
    EXPECT_EQ(key[0], 0x58);
    EXPECT_EQ(key[1], 0x41);
  }

  EXPECT_EQ(cfg.getValueList("oneToSixteen").size(), 16u);
  EXPECT_EQ(cfg.getValueList("oneToSixteen")[15], "16");
  EXPECT_FALSE(cfg.getValueList("tempoValues").empty());
  EXPECT_EQ(cfg.walks, 1);

  // Every image the user-interface source names is in the table.
  tinyxml2::XMLDocument doc;
  ASSERT_EQ(doc.LoadFile(DAVREL_TEST_SOURCE_DIR "/resources/uiconfig.xml"), tinyxml2::XML_SUCCESS);
  std::vector<const tinyxml2::XMLElement*> todo = {doc.RootElement()};
  int named = 0;
  while (!todo.empty())
  {
    const tinyxml2::XMLElement* e = todo.back();
    todo.pop_back();
    ImageInfo info;
    if (const char* image = e->Attribute("imageId"))
    {
      EXPECT_TRUE(cfg.getImageInfoByName(image, &info)) << image;
      ++named;
    }
    if (const char* param = e->Attribute("paramId"))
    {
      std::vector<std::string> pieces;
      UIConfigManager::Tokenize(param, pieces, "+");
      EXPECT_GE(cfg.getParamByName(pieces.at(0)), 0) << param;
    }
    for (const tinyxml2::XMLElement* c = e->FirstChildElement(); c; c = c->NextSiblingElement()) todo.push_back(c);
  }
  EXPECT_GT(named, 2);
}

TEST(ConfigReader, StepsRunInOrder)
{
  Fixture f(kSysEx, kUI);
  size_t sysexAtImages = 99;
  int paramsAtImages = 99;
  f.cfg.setImageLoader([&](const ImageTableRow&, double, bool) {
    if (sysexAtImages != 99) return;
    sysexAtImages = f.cfg.sysExContainers().size();
    paramsAtImages = f.cfg.paramNames().size();
  });
  f.read();

  EXPECT_EQ(f.files.requested, (std::vector<std::string>{sysexResourceName(), uiResourceName()}));
  EXPECT_EQ(sysexAtImages, 1u) << "system-exclusive lists before images";
  EXPECT_EQ(paramsAtImages, 0) << "images before parameter names";
  EXPECT_EQ(f.cfg.walks, 1);
  EXPECT_EQ(f.cfg.sysexAtWalk, 1u);
  EXPECT_EQ(f.cfg.imagesAtWalk, 58);
  EXPECT_EQ(f.cfg.paramsAtWalk, 380);
  EXPECT_EQ(f.cfg.listsAtWalk, 1) << "named lists before the walk";
  EXPECT_EQ(f.cfg.firstNode, "valueLists");
  EXPECT_EQ(f.cfg.layer, nullptr);
  EXPECT_EQ(f.cfg.channel, -1);

  const std::vector<std::string> expected = {
      "CONFIG READER: Started to read SysEx Data...",       "CONFIG READER: Completed reading SysEx data!",
      "CONFIG READER: Started to read image resources...", "CONFIG READER: Completed!",
      "CONFIG READER: Started to initialize parameters...", "CONFIG READER: Completed!"};
  EXPECT_EQ(f.log.lines, expected);
}

TEST(ConfigReader, StoresItsArguments)
{
  Fixture f(kSysEx, kUI);
  f.cfg.readUIConfig(nullptr, nullptr, nullptr, 1, 0.75);
  EXPECT_EQ(f.cfg.skin(), 1);
  EXPECT_EQ(f.cfg.scale(), 0.75);
}

TEST(ConfigReader, AZeroByteEndsTheText)
{
  // Whatever follows the zero is never parsed.
  Fixture f(std::string(kSysEx) + std::string(1, '\0') + "<<not xml", std::string(kUI) + std::string(3, '\0'));
  f.read();
  EXPECT_EQ(f.cfg.sysExContainers().size(), 1u);
  EXPECT_EQ(f.cfg.walks, 1);

  // A zero inside the document cuts it short.
  std::string cut = kUI;
  cut[cut.find("<layer")] = '\0';
  Fixture g(kSysEx, cut);
  g.read();
  EXPECT_EQ(g.cfg.walks, 0);
  EXPECT_EQ(g.log.count("CONFIG READER: Resource resources/uiconfig.tea is damaged or enciphered with another key"), 1);
}

TEST(ConfigReader, TextsThatFillTheLastBlockExactly)
{
  std::string ui = kUI;
  ui.insert(ui.find("<layer"), std::string(800 - ui.size(), ' '));
  ASSERT_EQ(ui.size(), 800u);
  Fixture f(kSysEx, ui);
  ASSERT_EQ(f.files.files[uiResourceName()].size(), 800u) << "100 blocks, no padding";
  f.read();
  EXPECT_EQ(f.cfg.walks, 1);
  EXPECT_EQ(f.cfg.getValueList("tempoValues"), (std::vector<std::string>{"120"}));
}

// Each broken resource gives one line and leaves its part empty; nothing else breaks.
TEST(ConfigReader, BrokenResourcesAreReportedAndSkipped)
{
  std::mt19937 rng(1659);
  std::string noise(400, 0);
  for (auto& c : noise) c = (char)rng();
  const unsigned char otherKey[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

  struct Case
  {
    const char* what;
    bool present;
    std::vector<unsigned char> bytes;
    std::string line;  // after "CONFIG READER: Resource <name> "
  };
  auto cases = [&](const std::string& good, const char* root) {
    std::string half = good.substr(0, good.size() / 2);
    return std::vector<Case>{
        {"missing", false, {}, "cannot be loaded: not found"},
        {"empty", true, {}, "is damaged or enciphered with another key"},
        {"noise", true, std::vector<unsigned char>(noise.begin(), noise.end()), "is damaged or enciphered with another key"},
        {"plain text", true, std::vector<unsigned char>(good.begin(), good.end()), "is damaged or enciphered with another key"},
        {"wrong key", true, encipherBytes(good, otherKey), "is damaged or enciphered with another key"},
        {"cut short", true, encipherBytes(half), "is damaged or enciphered with another key"},
        {"other root", true, encipherBytes("<config><sysex/></config>"), std::string("has no ") + root + " element!"},
    };
  };

  for (int which = 0; which < 2; ++which)
  {
    const bool sysex = which == 0;
    const char* name = sysex ? sysexResourceName() : uiResourceName();
    for (const Case& c : cases(sysex ? kSysEx : kUI, sysex ? "sysexlist" : "uiconfig"))
    {
      SCOPED_TRACE(std::string(name) + ": " + c.what);
      Fixture f(kSysEx, kUI);
      if (c.present)
        f.files.files[name] = c.bytes;
      else
        f.files.files.erase(name);
      CaptureConsole();
      f.read();
      const std::string console = CapturedConsole();

      const std::string expected = std::string("CONFIG READER: Resource ") + name + " ";
      EXPECT_EQ(f.log.count(expected), 1);
      bool found = false;
      for (const auto& l : f.log.lines) found |= l.rfind(expected, 0) == 0 && l.find(c.line) != std::string::npos;
      EXPECT_TRUE(found) << c.line;
      EXPECT_NE(console.find(expected), std::string::npos) << "problems reach the console too";

      // The other resource and the tables are read all the same.
      EXPECT_EQ(f.cfg.imageCount(), 58);
      EXPECT_EQ(f.cfg.paramNames().size(), 380);
      if (sysex)
      {
        EXPECT_TRUE(f.cfg.sysExContainers().empty());
        EXPECT_EQ(f.cfg.walks, 1);
        EXPECT_EQ(f.log.count("Completed reading SysEx data!"), 0);
      }
      else
      {
        EXPECT_EQ(f.cfg.sysExContainers().size(), 1u);
        EXPECT_EQ(f.cfg.walks, 0) << "no walk without the document";
        EXPECT_EQ(f.cfg.valueListCount(), 0);
        EXPECT_EQ(f.log.count("CONFIG READER: The editor is built without its configured layers and controls!"), 1);
      }
    }
  }
}

TEST(ConfigReader, ProblemsReachTheConsoleWithTheLogOff)
{
  UIConfigManager cfg;
  MemoryResources none;
  cfg.setResourceLoader(none.loader());
  CaptureConsole();
  cfg.readUIConfig(nullptr, nullptr, nullptr, 0, 1.0);
  const std::string console = CapturedConsole();
  EXPECT_NE(console.find("CONFIG READER: Resource resources/sysex.tea cannot be loaded: not found\n"), std::string::npos);
  EXPECT_NE(console.find("CONFIG READER: Resource resources/uiconfig.tea cannot be loaded: not found\n"), std::string::npos);
  EXPECT_EQ(console.find("Started"), std::string::npos) << "progress lines go to the log only";
}

TEST(ConfigReader, NoLoaderAtAll)
{
  UIConfigManager cfg;
  cfg.setResourceLoader(nullptr);
  LogLines log;
  cfg.setLogSink(log.sink());
  CaptureConsole();
  cfg.readUIConfig(nullptr, nullptr, nullptr, 0, 1.0);
  CapturedConsole();
  EXPECT_EQ(log.count("cannot be loaded: no data"), 2);
}
