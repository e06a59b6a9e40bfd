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
#include <memory>
#include <string>
#include <vector>

namespace tinyxml2 {
class XMLDocument;
class XMLElement;
class XMLNode;
}  // namespace tinyxml2

class IGraphics;
struct IBitmap;
struct IColor;
class Davrel;
class PatchLibrarian;
class ControlLayer;
class IControl;
class IPlugBase;
class IParam;
struct ControlAction;
struct ControlActionSysExMessage;

// What the editor adds to a port menu's entry while the port is missing; the
// menu's field keeps it whole when it shortens a long name.
inline constexpr char kMissingPortMark[] = " (missing)";

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
  // Loads the whole table at the scale ahead of the image loader's calls, which then
  // find each image loaded (it may decode them at once on several threads).
  using ImagePrefetch = std::function<void(const std::vector<ImageTableRow>& images, double scale)>;

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
  void setImagePrefetch(ImagePrefetch prefetch) { mImagePrefetch = std::move(prefetch); }
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

  // ---- system-exclusive value tables (the editor UI defines them) ----
  // Each turns a template into one message per value, entry k for the value
  // min + k, and replaces the table's messages. A template that is not read, is
  // shorter than eight bytes or does not hold the changing byte leaves the table
  // empty and gives a log line; every written byte stays a data byte (0 to 127).
  void calculateSysexWithChangingByte(std::string tmpl, int changingByte, int count,
                                      ControlActionSysExMessage* table, int min, int timbre) const;
  void calculateSysexWithChangingByteEQ(std::string tmpl, int changingByte, int count,
                                        ControlActionSysExMessage* table, int min, int timbre) const;
  void calculateSysexWithChangingByteTempo(std::string tmpl, int changingByte, int count,
                                           ControlActionSysExMessage* table, int min, int timbre) const;
  void calculateSysexWithChangingByteSwing(std::string tmpl, int changingByte, int count,
                                           ControlActionSysExMessage* table, int min, int timbre) const;
  void calculateSysexWithChangingByteTranspose(std::string tmpl, int changingByte, int count,
                                               ControlActionSysExMessage* table, int min, int timbre) const;
  void calculateSysexWithChangingByteTuning(std::string tmpl, int changingByte, int count,
                                            ControlActionSysExMessage* table, int min, int timbre) const;
  void calculateSysexWithTwoChangingBytes(std::string tmpl, int changingByte, int count,
                                          ControlActionSysExMessage* table, int min, int timbre) const;
  void calculateSysexWithChangingByteVelo(std::string tmpl, int changingByte, int count,
                                          ControlActionSysExMessage* table, int min, int timbre) const;
  void calculateSysexWithChangingByteModSeq(std::string tmpl, int changingByte, int count,
                                            ControlActionSysExMessage* table, int min, int timbre) const;

  // ---- sending records (the editor UI defines these) ----
  // The plug-in the graphics object belongs to, and its parameter (null outside
  // its list).
  IPlugBase* plugBase() const;
  IParam* paramAt(int paramIdx) const;
  // Create-or-rewrite: a parameter's existing record keeps everything but its type;
  // a parameter without one gets a fresh record of the type, owned by this manager.
  // Null for an id outside the parameter list.
  ControlAction* controlActionFor(int paramIdx, int actionType);
  // Records the element's link on its own record and, on the partner (the parameter
  // link.param1 names, already moved by the timbre copy), the link back. A partner
  // outside the parameter list records no link at all.
  void recordLink(ControlAction* action, int paramIdx, LinkInfo link, int channel);

  // ---- control factories (the editor UI defines them) ----
  // Positions and sizes are unscaled; channel is the timbre copy (-1 none); layer
  // null attaches to the graphics object.
  void createBoolControl(std::string name, int paramIdx, int defaultValue, int x, int y, std::string image,
                         int channel, ControlLayer* layer, std::string group);
  void createSwitchControl(std::string name, int paramIdx, int defaultValue, int x, int y, std::string image,
                           int channel, ControlLayer* layer, std::string group);
  IControl* createAutoOffSwitchControl(std::string name, int paramIdx, int x, int y, std::string image, int channel,
                                       ControlLayer* layer, std::string group);
  void createRadioControl(std::string name, int paramIdx, int x, int y, std::string image, int buttons,
                          int channel, ControlLayer* layer, std::string group);
  void createNoValBoolControl(std::string name, int paramIdx, int x, int y, std::string image, double defaultValue,
                              int channel, ControlLayer* layer, std::string group);
  void createCCBoolControl(int ccNumber, int channelKey, std::string name, int paramIdx, int x, int y,
                           std::string image, double defaultValue, double off, double on, LinkInfo link,
                           int channel, ControlLayer* layer, std::string group);
  void createMsbLsbBoolControl(int ccNumber, int msbValue, int valueOffset, int lsbValue, int channelKey,
                               std::string name, int paramIdx, int x, int y, std::string image, double defaultValue,
                               double off, double on, LinkInfo link, int channel, ControlLayer* layer,
                               std::string group);
  void createSysExBoolControl(std::string name, int paramIdx, int x, int y, std::string image, double defaultValue,
                              int msgZeroVal, int sysexIndex, int changingByte, int channel, LinkInfo link,
                              ControlLayer* layer, std::string group);

  void createDropDownMenu(std::string name, int paramIdx, int x, int y, int w, int h, int channel,
                          ControlLayer* layer, std::string group);
  void createDropDownMenu2(std::string name, int paramIdx, int x, int y, int w, int h, int defaultValue, int min,
                           int max, std::vector<std::string> valueList, int channel, ControlLayer* layer,
                           std::string group);
  void createMIDIDeviceSelectionControl(std::string name, int paramIdx, int x, int y, int w, int h, int inputDev,
                                        int unused, ControlLayer* layer, std::string group);
  void createNoValDropDown(std::string name, int paramIdx, int x, int y, int w, int h, int defaultValue, int min,
                           int max, int dispMin, int dispMax, int color, std::vector<std::string> valueList,
                           int channel, ControlLayer* layer, std::string group, bool white);
  void createMultiSelectionCCControl(int ccNumber, int channelKey, std::string name, int paramIdx, int x, int y,
                                     int w, int h, int defaultValue, int min, int max, int dispMin, int dispMax,
                                     std::vector<std::string> valueList, int channel, ControlLayer* layer,
                                     std::string group);
  void createMsbLsbSelectionCCControl(int ccNumber, int msbValue, int valueOffset, int lsbValue, int channelKey,
                                      std::string name, int paramIdx, int x, int y, int w, int h, int defaultValue,
                                      int min, int max, int dispMin, int dispMax, std::vector<std::string> valueList,
                                      int channel, ControlLayer* layer, std::string group);
  void createMultiSelectionSysExControl(std::string name, int paramIdx, int x, int y, int w, int h,
                                        int defaultValue, int min, int max, int dispMin, int dispMax,
                                        std::vector<std::string> valueList, int msgZeroVal, int color,
                                        int sysexIndex, int changingByte, int channel, ControlLayer* layer,
                                        std::string group);

  void createNoValKnobControl(std::string name, int paramIdx, int x, int y, std::string image, double defaultValue,
                              double min, double max, double step, int channel, ControlLayer* layer,
                              std::string group);
  void createCCKnobControl(int ccNumber, int channelAttr, std::string name, int paramIdx, int x, int y,
                           std::string image, double defaultValue, double min, double max, double step, LinkInfo link,
                           int channel, ControlLayer* layer, std::string group);
  void createMsbLsbKnobControl(int ccNumber, int msbValue, int valueOffset, int lsbValue, int channelAttr,
                               std::string name, int paramIdx, int x, int y, std::string image, double defaultValue,
                               double min, double max, double step, LinkInfo link, int channel, ControlLayer* layer,
                               std::string group);
  void createSysExKnobControl(std::string name, int paramIdx, int x, int y, std::string image, double defaultValue,
                              double min, double max, double step, int msgZeroVal, int sysexIndex, int changingByte,
                              int channel, LinkInfo link, ControlLayer* layer, std::string group);
  void createSysExKnobControl2(std::string name, int paramIdx, int x, int y, std::string image, double defaultValue,
                               double min, double max, double step, int msgZeroVal, int sysexIndex,
                               int changingByte, int channel, LinkInfo link, ControlLayer* layer, std::string group);
  void createCCSliderControl(int ccNumber, int channelAttr, std::string name, int paramIdx, int x, int y, int length,
                             std::string image, double defaultValue, double min, double max, LinkInfo link,
                             int channel, ControlLayer* layer, std::string group, int direction, bool onlyHandle);
  void createSysExSliderControl(std::string name, int paramIdx, int x, int y, int length, std::string image,
                                double defaultValue, double min, double max, double step, int msgZeroVal,
                                int sysexIndex, int changingByte, int channel, LinkInfo link, ControlLayer* layer,
                                std::string group, int direction, bool onlyHandle);

  void createControlDisplay(std::string name, int paramIdx, int x, int y, int w, int h, int channel,
                            ControlLayer* layer, std::string group, int displayKind);
  void createNameDisplay(std::string name, int paramIdx, int x, int y, int w, int h, int nameLen, int channel,
                         ControlLayer* layer, std::string group);

  // ---- what the walk leaves behind ----
  // The layer registered under the name, or null; never creates an entry.
  ControlLayer* getLayer(const std::string& name) const;
  const std::map<std::string, ControlLayer*>& layerMap() const { return mLayerMap; }
  int controlActionCount() const { return (int)mControlActions.size(); }

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
  ImagePrefetch mImagePrefetch;
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

protected:
  // Filled by the walk; the layers belong to the graphics object.
  std::map<std::string, ControlLayer*> mLayerMap;
  // Made while the configuration is read; the parameters point at them.
  std::vector<std::shared_ptr<ControlAction>> mControlActions;
  // Places a control in the layer, or attaches it to the graphics object.
  void placeControl(IControl* control, ControlLayer* layer);
  // A menu's enumerated parameter and its texts; false, with the log line, when the
  // value list does not hold the texts the parameter needs.
  bool initMenuParam(IParam* param, const std::string& paramName, const std::string& name, int defaultValue, int n,
                     bool numbered, int dispMin, int dispMax, const std::vector<std::string>& valueList, int channel,
                     const std::string& group);
  // The two system-exclusive knob factories; the second picks the special value
  // encodings by parameter.
  void createSysExKnob(const std::string& name, int paramIdx, int x, int y, const std::string& image,
                       double defaultValue, double min, double max, int sysexIndex, int changingByte, int channel,
                       const LinkInfo& link, ControlLayer* layer, const std::string& group, bool specialEncodings);
  // The caption that shows and opens a menu parameter, placed on the layer; with
  // a kept tail, one that fits its text to its field keeping that tail whole.
  IControl* placeMenuCaption(int paramIdx, int x, int y, int w, int h, int textSize, const IColor& colour,
                             ControlLayer* layer, const char* keptTail = nullptr);
  // A two-state parameter named paramName and its switch (momentary when contact)
  // placed on the layer; null when the parameter id is refused.
  IControl* placeBoolSwitch(IParam* param, int paramIdx, const std::string& paramName, bool on, int x, int y,
                            const std::string& image, bool contact, int channel, ControlLayer* layer,
                            const std::string& group);
};
