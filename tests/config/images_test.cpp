#include "ConsoleCapture.h"
#include "config_test_support.h"

#include <gtest/gtest.h>

#include <set>

namespace {

struct Loaded
{
  int id;
  std::string path;
  double scale;
  bool release;
};

struct RecordingImages
{
  std::vector<Loaded> calls;
  UIConfigManager::ImageLoader loader()
  {
    return [this](const ImageTableRow& row, double scale, bool release) {
      calls.push_back({row.id, row.path, scale, release});
    };
  }
};

}  // namespace

TEST(ImageTable, FiftyEightRowsPerSkin)
{
  for (int skin : {0, 1, 7})
  {
    const auto rows = editorImages(skin);
    ASSERT_EQ(rows.size(), 58u);
    std::set<std::string> names;
    std::set<int> ids;
    for (const auto& r : rows)
    {
      names.insert(r.name);
      ids.insert(r.id);
      EXPECT_EQ(r.framesAreHorizontal, r.frames == 1) << r.name << ": strips are stacked, single images not";
      EXPECT_EQ(std::string(r.path).rfind("resources/img/", 0), 0u) << r.path;
    }
    EXPECT_EQ(names.size(), 58u);
    EXPECT_EQ(ids.size(), 58u);
  }
  // The knob strips load out of id order.
  const auto rows = editorImages(0);
  std::vector<int> knobs;
  for (size_t i = 8; i < 17; ++i) knobs.push_back(rows[i].id);
  EXPECT_EQ(knobs, (std::vector<int>{120, 121, 122, 123, 124, 125, 128, 126, 127}));
  EXPECT_EQ(rows.front().id, 117);
  EXPECT_STREQ(rows[49].name, "BTN_RELEASE_ALL_LOCKS");
}

TEST(ImageTable, SkinChoosesTheMainBackground)
{
  struct Case
  {
    int skin;
    int id;
    const char* path;
  } cases[] = {{0, 103, "resources/img/main-bg.png"},
               {1, 500, "resources/img/main-bg-black.png"},
               {-3, 500, "resources/img/main-bg-black.png"}};
  for (const Case& c : cases)
  {
    UIConfigManager cfg;
    RecordingImages images;
    cfg.setImageLoader(images.loader());
    MemoryResources none;  // no resources: images still load
    cfg.setResourceLoader(none.loader());
    cfg.readUIConfig(nullptr, nullptr, nullptr, c.skin, 1.25);

    ImageInfo info;
    ASSERT_TRUE(cfg.getImageInfoByName("BG_ID_MAIN", &info));
    EXPECT_EQ(info.resourceId, c.id);
    EXPECT_EQ(cfg.imageCount(), 58);
    ASSERT_EQ(images.calls.size(), 58u);
    EXPECT_EQ(images.calls.back().path, c.path);
    for (const auto& call : images.calls)
    {
      EXPECT_EQ(call.scale, 1.25);
      EXPECT_FALSE(call.release);
      EXPECT_NE(call.id, c.id == 103 ? 500 : 103) << "the other variant is not loaded";
    }
  }
}

TEST(ImageTable, EntriesCarryFramesAndDirection)
{
  UIConfigManager cfg;
  cfg.initImages();
  struct Case
  {
    const char* name;
    int id, frames;
    bool horizontal;
  } cases[] = {{"KNOB_ID127", 124, 127, false},
               {"LAYER_LED_SET_ID", 201, 3, false},
               {"BG_ID_PLAIN", 102, 1, true},
               {"KNOB_ID280", 127, 280, false},
               {"BUTTON_BANK_SEARCH_ID", 999, 2, false}};
  for (const Case& c : cases)
  {
    ImageInfo info;
    ASSERT_TRUE(cfg.getImageInfoByName(c.name, &info)) << c.name;
    EXPECT_EQ(info.resourceId, c.id);
    EXPECT_EQ(info.frameCount, c.frames);
    EXPECT_EQ(info.framesAreHorizontal, c.horizontal);
  }
}

TEST(ImageTable, MissingNamesGiveTheEmptyImage)
{
  UIConfigManager cfg;
  cfg.initImages();
  for (bool logOn : {false, true})
  {
    LogLines log;
    if (logOn) cfg.setLogSink(log.sink());
    for (const char* name : {"knob_id127", "NO_SUCH_IMAGE", ""})
    {
      CaptureConsole();
      ImageInfo info;
      info.resourceId = 5;
      EXPECT_FALSE(cfg.getImageInfoByName(name, &info));
      EXPECT_EQ(CapturedConsole(), std::string("image '") + name + "' NOT FOUND!!\n");
      EXPECT_EQ(info.resourceId, -1);
      EXPECT_EQ(info.frameCount, 1);
      EXPECT_FALSE(info.framesAreHorizontal);
      EXPECT_EQ(log.count(std::string("CONFIG READER: Image ") + name + " MISSING!"), logOn ? 1 : 0);
    }
  }
}

TEST(ImageTable, RegisteringAgainReplacesAndNeverGrowsPastTheTable)
{
  UIConfigManager cfg;
  cfg.initImages();
  cfg.initImages();
  EXPECT_EQ(cfg.imageCount(), 58);
  cfg.preloadImage(7, "KNOB_ID25", "resources/img/other.png", 5, false);
  ImageInfo info;
  ASSERT_TRUE(cfg.getImageInfoByName("KNOB_ID25", &info));
  EXPECT_EQ(info.resourceId, 7);
  EXPECT_EQ(info.frameCount, 5);
  EXPECT_EQ(cfg.imageCount(), 58);
}

TEST(ImageTable, ClearImageCacheReleasesEveryImageAndKeepsTheNames)
{
  UIConfigManager cfg;
  RecordingImages images;
  LogLines log;
  cfg.setImageLoader(images.loader());
  cfg.setLogSink(log.sink());
  cfg.initImages();
  images.calls.clear();

  cfg.ClearImageCache();
  ASSERT_EQ(images.calls.size(), 58u);
  for (const auto& call : images.calls) EXPECT_TRUE(call.release);
  EXPECT_EQ(cfg.imageCount(), 58);
  EXPECT_EQ(log.count("CONFIG READER: Started to read image resources..."), 2);
  EXPECT_EQ(log.count("CONFIG READER: Completed!"), 2);

  // Afterwards images load again, not release.
  images.calls.clear();
  cfg.initImages();
  for (const auto& call : images.calls) EXPECT_FALSE(call.release);
}
