#pragma once
// The configuration reader: deciphers the two bundle resources and keeps what they
// describe (system-exclusive value lists, named value lists), the parameter name
// table, the image table and the MIDI address lookups for the editor's life.
//
// Everything here is filled once, by readUIConfig on the thread that constructs the
// plug-in, before the editor window and the MIDI threads exist; afterwards it is
// only read, and no read creates anything, so readers on other threads need no lock.

#include "config/BundleResources.h"
#include "config/ControlLookups.h"
#include "config/ImageTable.h"
#include "config/ParamNames.h"
#include "config/SysExValues.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tinyxml2 {
class XMLDocument;
class XMLElement;
class XMLNode;
}  // namespace tinyxml2

class IGraphics;
struct IBitmap;
class Davrel;
class PatchLibrarian;
class ControlLayer;

// A timbre link: the ids of the two linked parameters and a third value; all -1
// when there is no link.
struct LinkInfo
{
  int param1 = -1;
  int param2 = -1;
  int value = -1;
};

class UIConfigManager
{
public:
  // Receives each log line without its line break; installed by the controller only
  // while its log file is enabled, so with none installed the log gets nothing.
  using LogSink = ParamNameTable::LogSink;
  // Loads a bundle resource by name. By default the bundle next to the plug-in's
  // shared library; the graphics object may take its place.
  using ResourceLoader = std::function<LoadedResource(int id, const char* name)>;
  // Loads one image of the table into the graphics layer's bitmap cache at the scale,
  // or, with release set, takes it out of the cache and frees it.
  using ImageLoader = std::function<void(const ImageTableRow& image, double scale, bool release)>;

  static const int kSysExResourceId = 101;
  static const int kUIResourceId = 100;
  static const char* const kSysExResource;  // "resources/sysex.tea"
  static const char* const kUIResource;     // "resources/uiconfig.tea"

  UIConfigManager();
  virtual ~UIConfigManager();
  UIConfigManager(const UIConfigManager&) = delete;
  UIConfigManager& operator=(const UIConfigManager&) = delete;

  void setLogSink(LogSink sink);
  void setResourceLoader(ResourceLoader loader) { mResourceLoader = std::move(loader); }
  void setImageLoader(ImageLoader loader) { mImageLoader = std::move(loader); }
  // The key the resources are deciphered with (the built-in one unless set).
  void setResourceKey(const unsigned char* keyBytes);

  // The whole configuration read, in this order: system-exclusive lists, images,
  // parameter names, then the user-interface resource: its named value lists and the
  // walk over its elements. A resource that is missing, damaged, deciphered with the
  // wrong key or without its root element gives a "CONFIG READER: " line and leaves
  // its part empty; the rest is still read.
  void readUIConfig(IGraphics* graphics, Davrel* plug, PatchLibrarian* librarian, int skin, double scale);

  // The walk over the user-interface elements that creates the layers and controls;
  // the editor UI supplies it. Called with the first child of the root element.
  virtual void processXMLElement(tinyxml2::XMLNode* node, ControlLayer* layer, int channel);

  // System-exclusive value lists ("resources/sysex.tea"), appended to the table.
  void readSysexValues();
  // The named value lists under uiconfig > valueLists of a parsed document.
  void readReasources(tinyxml2::XMLDocument* document);

  const std::vector<SysExContainer>& sysExContainers() const { return mSysExContainers; }
  // The container a sysexIndex selects, or null beyond the table.
  const SysExContainer* getSysExContainer(int sysexIndex) const;
  // The named list, or an empty one; never creates an entry, so it is safe while
  // other threads read lists.
  const std::vector<std::string>& getValueList(const std::string& name) const;
  int valueListCount() const { return (int)mValueLists.size(); }

  // Parameter names.
  void initParams() { mParamNames.initParams(); }
  int getParamByName(const std::string& name) const { return mParamNames.getParamByName(name); }
  const ParamNameTable& paramNames() const { return mParamNames; }

  // Image table.
  void initImages();
  void preloadImage(int id, const char* name, const char* path, int frames, bool framesAreHorizontal);
  void ClearImageCache();
  // The entry for an image name. A name missing from the table gives the entry of
  // the empty one-frame bitmap, false, "CONFIG READER: Image <name> MISSING!" in the
  // log and "image '<name>' NOT FOUND!!" on the console.
  bool getImageInfoByName(const std::string& name, ImageInfo* info) const;
  // The bitmap the graphics object holds for the name at this manager's scale, with
  // the entry's frames; for a name not in the table the empty one-frame bitmap and
  // the lines above. Defined by the editor UI, which knows the graphics object.
  IBitmap getImageByName(IGraphics* graphics, const std::string& name) const;
  int imageCount() const { return (int)mImages.size(); }

  // MIDI address lookups.
  CCControlContainer& ccControls() { return mCCControls; }
  NRPNControlContainer& nrpnControls() { return mNRPNControls; }
  SysExControlContainer& sysExControls() { return mSysExControls; }
  const CCControlContainer& ccControls() const { return mCCControls; }
  const NRPNControlContainer& nrpnControls() const { return mNRPNControls; }
  const SysExControlContainer& sysExControls() const { return mSysExControls; }

  // Attribute value parsers.
  static void Tokenize(const std::string& text, std::vector<std::string>& tokens, const std::string& delimiters);
  static void getCSValues(std::string text, int* values, int count);
  void getBiDirectLinkValues(std::string text, LinkInfo* link, int offset) const;
  static std::vector<int> convertStringSysextoVector(std::string text);
  // A system-exclusive template: hexadecimal data bytes separated by blanks. Refuses,
  // with a log line and bytes untouched, a token that is no number or a value outside
  // 0 to 0x7F, which would not be a data byte on the wire.
  bool parseSysExTemplate(const std::string& text, std::vector<int>* bytes) const;
  // Valid until the next call.
  const char* getParamGroup(int channel, std::string group);

  IGraphics* graphics() const { return mGraphics; }
  Davrel* plug() const { return mPlug; }
  PatchLibrarian* librarian() const { return mLibrarian; }
  int skin() const { return mSkin; }
  double scale() const { return mScale; }

protected:
  // A line for the log only.
  void configLog(const std::string& line) const;
  // A failure: on the console always, in the log when it is enabled.
  void configProblem(const std::string& line) const;

private:
  // Loads, deciphers and parses a resource into the document; returns its root
  // element of the given name, or null after a "CONFIG READER: " line.
  tinyxml2::XMLElement* loadResource(int id, const char* name, const char* rootName,
                                     tinyxml2::XMLDocument* document);

  IGraphics* mGraphics = nullptr;
  Davrel* mPlug = nullptr;
  PatchLibrarian* mLibrarian = nullptr;
  int mSkin = 0;
  double mScale = 1.0;

  LogSink mLogSink;
  ResourceLoader mResourceLoader;
  ImageLoader mImageLoader;
  unsigned int mKey[4];

  std::vector<SysExContainer> mSysExContainers;
  std::map<std::string, std::vector<std::string>> mValueLists;
  ParamNameTable mParamNames;
  std::map<std::string, ImageInfo> mImages;
  bool releasingImages = false;
  CCControlContainer mCCControls;
  NRPNControlContainer mNRPNControls;
  SysExControlContainer mSysExControls;
  std::string groupText;
};
