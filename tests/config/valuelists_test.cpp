#include "config_test_support.h"

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <atomic>
#include <thread>

namespace {

using Lists = std::vector<Values>;

// Reads a sysexlist document given as text through the resource loader.
struct SysExReader
{
  UIConfigManager cfg;
  MemoryResources files;
  LogLines log;

  explicit SysExReader(const std::string& xml)
  {
    const auto bytes = encipherBytes(xml);
    files.files[sysexResourceName()] = bytes;
    cfg.setResourceLoader(files.loader());
    cfg.setLogSink(log.sink());
    cfg.readSysexValues();
  }
};

void readLists(UIConfigManager& cfg, const char* xml)
{
  tinyxml2::XMLDocument doc(true, tinyxml2::PRESERVE_WHITESPACE);
  ASSERT_EQ(doc.Parse(xml), tinyxml2::XML_SUCCESS);
  cfg.readReasources(&doc);
}

}  // namespace

TEST(SysExValues, PlainListsAndMultiValueGroups)
{
  SysExReader r(
      "<sysexlist><sysex>"
      "<values><value>42 30 58</value><value>41</value><value>2A</value></values>"
      "<values><multivalue><value>00</value><value>01</value></multivalue>"
      "<multivalue><value>02</value></multivalue></values>"
      "</sysex></sysexlist>");
  ASSERT_EQ(r.cfg.sysExContainers().size(), 1u);
  const SysExContainer& c = r.cfg.sysExContainers()[0];
  EXPECT_EQ(c.values, (Lists{{"42 30 58", "41", "2A"}}));
  ASSERT_EQ(c.multiValues.size(), 1u);
  EXPECT_EQ(c.multiValues[0], (Lists{{"00", "01"}, {"02"}}));
  EXPECT_TRUE(c.hasMultiValues);
  EXPECT_EQ(r.log.count("CONFIG READER: Started to read SysEx Data..."), 1);
  EXPECT_EQ(r.log.count("CONFIG READER: Completed reading SysEx data!"), 1);
}

TEST(SysExValues, EmptyValuesStandForABlank)
{
  SysExReader r(
      "<sysexlist><sysex>"
      "<values><value/><value>7F</value><value></value></values>"
      "<values><multivalue><value/></multivalue></values>"
      "</sysex></sysexlist>");
  ASSERT_EQ(r.cfg.sysExContainers().size(), 1u);
  EXPECT_EQ(r.cfg.sysExContainers()[0].values, (Lists{{" ", "7F", " "}}));
  EXPECT_EQ(r.cfg.sysExContainers()[0].multiValues, (std::vector<Lists>{{{" "}}}));
}

TEST(SysExValues, SiblingsAfterTheFirstAreReadWhateverTheirName)
{
  SysExReader r(
      "<sysexlist>"
      "<other>ignored before the first sysex</other>"
      "<sysex><values><value>A</value><item>B</item></values><list><value>C</value></list></sysex>"
      "<block><values><value>D</value></values></block>"
      "</sysexlist>");
  ASSERT_EQ(r.cfg.sysExContainers().size(), 2u);
  EXPECT_EQ(r.cfg.sysExContainers()[0].values, (Lists{{"A", "B"}, {"C"}}));
  EXPECT_EQ(r.cfg.sysExContainers()[1].values, (Lists{{"D"}}));
}

TEST(SysExValues, EmptyElementsKeepTheirPlace)
{
  SysExReader r(
      "<sysexlist>"
      "<sysex/>"
      "<sysex><values/></sysex>"
      "<sysex><values><value>third</value></values></sysex>"
      "</sysexlist>");
  ASSERT_EQ(r.cfg.sysExContainers().size(), 3u);
  const SysExContainer* empty = r.cfg.getSysExContainer(0);
  ASSERT_NE(empty, nullptr);
  EXPECT_TRUE(empty->values.empty());
  EXPECT_FALSE(empty->hasMultiValues);

  const SysExContainer* group = r.cfg.getSysExContainer(1);
  ASSERT_NE(group, nullptr);
  EXPECT_TRUE(group->values.empty());
  EXPECT_EQ(group->multiValues, (std::vector<Lists>{Lists{}}));
  EXPECT_TRUE(group->hasMultiValues);

  const SysExContainer* third = r.cfg.getSysExContainer(2);
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(third->values, (Lists{{"third"}}));
  EXPECT_EQ(r.cfg.getSysExContainer(3), nullptr);
  EXPECT_EQ(r.cfg.getSysExContainer(-1), nullptr);
}

TEST(SysExValues, ASecondReadAppends)
{
  SysExReader r("<sysexlist><sysex><values><value>1</value></values></sysex></sysexlist>");
  r.cfg.readSysexValues();
  ASSERT_EQ(r.cfg.sysExContainers().size(), 2u);
  EXPECT_EQ(r.cfg.sysExContainers()[1].values, (Lists{{"1"}}));
}

TEST(NamedValueLists, ReadInDocumentOrder)
{
  UIConfigManager cfg;
  LogLines log;
  cfg.setLogSink(log.sink());
  readLists(cfg,
            "<uiconfig><valueLists>"
            "<!-- a comment between lists -->"
            "<list name=\"arpRange\"><value>1 Oct</value><!-- inside --><value/><note>x</note><value>4 Oct</value></list>"
            "<group name=\"notAList\"><value>x</value></group>"
            "<list><value>nameless</value></list>"
            "<list name=\"dup\"><value>first</value></list>"
            "<list name=\"dup\"><value>second</value><value>third</value></list>"
            "</valueLists></uiconfig>");
  EXPECT_EQ(cfg.getValueList("arpRange"), (std::vector<std::string>{"1 Oct", " ", "4 Oct"}));
  EXPECT_EQ(cfg.getValueList("dup"), (std::vector<std::string>{"second", "third"}));
  EXPECT_TRUE(cfg.getValueList("notAList").empty());
  EXPECT_EQ(cfg.valueListCount(), 2);
  EXPECT_EQ(log.count("CONFIG READER: A value list without a name is skipped!"), 1);
}

TEST(NamedValueLists, DocumentsWithoutListsReadNothing)
{
  UIConfigManager cfg;
  readLists(cfg, "<uiconfig><layer name=\"a\"/></uiconfig>");
  readLists(cfg, "<other><valueLists><list name=\"x\"><value>1</value></list></valueLists></other>");
  cfg.readReasources(nullptr);
  EXPECT_EQ(cfg.valueListCount(), 0);
}

// A lookup of a name no list defines must not insert: other threads read the map.
TEST(NamedValueLists, LookupsCreateNothingUnderConcurrentReaders)
{
  UIConfigManager cfg;
  readLists(cfg,
            "<uiconfig><valueLists>"
            "<list name=\"tempoValues\"><value>20</value><value>120</value></list>"
            "<list name=\"lfoWaveform\"><value>Saw</value><value>Square</value></list>"
            "</valueLists></uiconfig>");
  std::atomic<int> wrong{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 4; ++t)
  {
    readers.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i)
      {
        if (cfg.getValueList("tempoValues").size() != 2) ++wrong;
        if (cfg.getValueList("lfoWaveform")[1] != "Square") ++wrong;
        if (!cfg.getValueList("missing" + std::to_string(t * 2000 + i)).empty()) ++wrong;
      }
    });
  }
  for (auto& r : readers) r.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(cfg.valueListCount(), 2);
}
