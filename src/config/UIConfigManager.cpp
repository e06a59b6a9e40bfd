#include "base/log.h"
#include "config/UIConfigManager.h"

#include "cipher/ResourceCipher.h"

#include <tinyxml2.h>

#include <cstdio>
#include <cstring>
#include <memory>

using tinyxml2::XMLDocument;
using tinyxml2::XMLElement;

const char* const UIConfigManager::kSysExResource = "resources/sysex.tea";
const char* const UIConfigManager::kUIResource = "resources/uiconfig.tea";

namespace {

// The texts of a run of sibling elements, whatever their names: an element without
// text stands for a blank, an empty text adds nothing.
Values readValueRun(const XMLElement* first)
{
  Values texts;
  for (const XMLElement* e = first; e; e = e->NextSiblingElement())
  {
    const char* text = e->GetText();
    if (!text)
      texts.push_back(" ");
    else if (*text)
      texts.push_back(text);
  }
  return texts;
}

}  // namespace

UIConfigManager::UIConfigManager()
{
  resourceKeyWords(kResourceKeyBytes, mKey);
  auto bundle = std::make_shared<BundleResources>();
  mResourceLoader = [bundle](int id, const char* name) { return bundle->LoadFile(id, name); };
}

UIConfigManager::~UIConfigManager() = default;

void UIConfigManager::setLogSink(LogSink sink)
{
  mLogSink = sink;
  mParamNames.setLogSink(std::move(sink));
}

void UIConfigManager::setResourceKey(const unsigned char* keyBytes) { resourceKeyWords(keyBytes, mKey); }

void UIConfigManager::configLog(const std::string& line) const
{
  if (mLogSink) mLogSink(line);
}

void UIConfigManager::configProblem(const std::string& line) const
{
  ConsoleLog("%s\n", line.c_str());
  configLog(line);
}

void UIConfigManager::processXMLElement(tinyxml2::XMLNode*, ControlLayer*, int) {}

void UIConfigManager::readUIConfig(IGraphics* graphics, Davrel* plug, PatchLibrarian* librarian, int skin,
                                   double scale)
{
  mGraphics = graphics;
  mPlug = plug;
  mLibrarian = librarian;
  mSkin = skin;
  mScale = scale;

  // The walk needs the value lists, the images and the parameter names, so they come first.
  readSysexValues();
  initImages();
  initParams();

  XMLDocument document(true, tinyxml2::PRESERVE_WHITESPACE);
  XMLElement* root = loadResource(kUIResourceId, kUIResource, "uiconfig", &document);
  if (!root)
  {
    configProblem("CONFIG READER: The editor is built without its configured layers and controls!");
    return;
  }
  readReasources(&document);
  processXMLElement(root->FirstChild(), nullptr, -1);
}

XMLElement* UIConfigManager::loadResource(int id, const char* name, const char* rootName, XMLDocument* document)
{
  LoadedResource file = mResourceLoader ? mResourceLoader(id, name) : LoadedResource();
  if (!file.data)
  {
    configProblem(std::string("CONFIG READER: Resource ") + name + " cannot be loaded: " +
                  (file.problem.empty() ? "no data" : file.problem));
    return nullptr;
  }
  const std::string text = decipherResource(file.data.get(), file.size, mKey);
  file.data.reset();

  // The text ends at its first zero byte: the padding of the last block, or earlier.
  if (document->Parse(text.c_str()) != tinyxml2::XML_SUCCESS)
  {
    configProblem(std::string("CONFIG READER: Resource ") + name +
                  " is damaged or enciphered with another key: " +
                  (document->ErrorStr() ? document->ErrorStr() : "no XML"));
    return nullptr;
  }
  XMLElement* root = document->FirstChildElement(rootName);
  if (!root) configProblem(std::string("CONFIG READER: Resource ") + name + " has no " + rootName + " element!");
  return root;
}

void UIConfigManager::readSysexValues()
{
  configLog("CONFIG READER: Started to read SysEx Data...");
  XMLDocument document(true, tinyxml2::PRESERVE_WHITESPACE);
  XMLElement* list = loadResource(kSysExResourceId, kSysExResource, "sysexlist", &document);
  if (!list) return;

  // After the first element of the expected name, every following sibling is read
  // whatever its name.
  for (XMLElement* sysex = list->FirstChildElement("sysex"); sysex; sysex = sysex->NextSiblingElement())
  {
    SysExContainer container;
    for (XMLElement* values = sysex->FirstChildElement("values"); values; values = values->NextSiblingElement())
    {
      if (XMLElement* first = values->FirstChildElement("value"))
      {
        container.values.push_back(readValueRun(first));
        continue;
      }
      std::vector<Values> group;
      for (XMLElement* multi = values->FirstChildElement("multivalue"); multi; multi = multi->NextSiblingElement())
        group.push_back(readValueRun(multi->FirstChildElement("value")));
      container.multiValues.push_back(std::move(group));
      container.hasMultiValues = true;
    }
    mSysExContainers.push_back(std::move(container));
  }
  configLog("CONFIG READER: Completed reading SysEx data!");
}

void UIConfigManager::readReasources(XMLDocument* document)
{
  if (!document) return;
  XMLElement* root = document->FirstChildElement("uiconfig");
  XMLElement* lists = root ? root->FirstChildElement("valueLists") : nullptr;
  if (!lists) return;
  for (XMLElement* list = lists->FirstChildElement(); list; list = list->NextSiblingElement())
  {
    if (strcmp(list->Name(), "list") != 0) continue;
    const char* name = list->Attribute("name");
    if (!name)
    {
      configProblem("CONFIG READER: A value list without a name is skipped!");
      continue;
    }
    std::vector<std::string> texts;
    for (XMLElement* value = list->FirstChildElement("value"); value; value = value->NextSiblingElement("value"))
    {
      const char* text = value->GetText();
      texts.push_back(text && *text ? text : " ");
    }
    mValueLists[name] = std::move(texts);
  }
}

const SysExContainer* UIConfigManager::getSysExContainer(int sysexIndex) const
{
  if (sysexIndex < 0 || sysexIndex >= (int)mSysExContainers.size()) return nullptr;
  return &mSysExContainers[(size_t)sysexIndex];
}

const std::vector<std::string>& UIConfigManager::getValueList(const std::string& name) const
{
  static const std::vector<std::string> kNone;
  const auto it = mValueLists.find(name);
  return it == mValueLists.end() ? kNone : it->second;
}

void UIConfigManager::initImages()
{
  configLog("CONFIG READER: Started to read image resources...");
  const std::vector<ImageTableRow> rows = editorImages(mSkin);
  if (mImagePrefetch && mImageLoader && !releasingImages) mImagePrefetch(rows, mScale);
  for (const ImageTableRow& row : rows)
    preloadImage(row.id, row.name, row.path, row.frames, row.framesAreHorizontal);
  configLog("CONFIG READER: Completed!");
}

void UIConfigManager::preloadImage(int id, const char* name, const char* path, int frames, bool framesAreHorizontal)
{
  if (mImageLoader) mImageLoader(ImageTableRow{id, name, path, frames, framesAreHorizontal}, mScale, releasingImages);
  if (releasingImages) return;
  ImageInfo info;
  info.resourceId = id;
  info.frameCount = frames;
  info.framesAreHorizontal = framesAreHorizontal;
  mImages[name] = info;
}

void UIConfigManager::ClearImageCache()
{
  releasingImages = true;
  initImages();
  releasingImages = false;
}

bool UIConfigManager::getImageInfoByName(const std::string& name, ImageInfo* info) const
{
  const auto it = mImages.find(name);
  if (it != mImages.end())
  {
    *info = it->second;
    return true;
  }
  *info = ImageInfo();
  info->resourceId = -1;
  info->framesAreHorizontal = false;
  configLog("CONFIG READER: Image " + name + " MISSING!");
  ConsoleLog("image '%s' NOT FOUND!!\n", name.c_str());
  return false;
}
