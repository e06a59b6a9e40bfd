// The two configuration resources after deciphering: the input is the plain text,
// enciphered here with the built-in key and served under the resource's name, so
// what is fuzzed is the XML the reader sees. The first byte picks the resource
// (user interface, system-exclusive lists alone, or the whole reading with the same
// text for both). The walk over the user-interface elements runs the attribute
// readers on every attribute.

#include "cipher/ResourceCipher.h"
#include "cipher/Tea.h"
#include "config/UIConfigManager.h"

#include <tinyxml2.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

class WalkingConfig : public UIConfigManager
{
public:
  void processXMLElement(tinyxml2::XMLNode* node, ControlLayer* layer, int channel) override
  {
    for (; node; node = node->NextSibling())
    {
      const tinyxml2::XMLElement* e = node->ToElement();
      if (!e) continue;
      for (const tinyxml2::XMLAttribute* a = e->FirstAttribute(); a; a = a->Next())
      {
        const std::string text = a->Value();
        int values[4] = {-1, -1, -1, -1};
        getCSValues(text, values, 4);
        LinkInfo link;
        getBiDirectLinkValues(text, &link, channel < 0 ? 0 : channel);
        convertStringSysextoVector(text);
        std::vector<int> bytes;
        if (parseSysExTemplate(text, &bytes))
          for (int b : bytes)
            if (b < 0 || b > 0x7F) abort();
        getParamGroup(channel, text);
      }
      // Nested elements are walked the way the editor walks layers inside layers.
      if (++mDepth < 64) processXMLElement(node->FirstChild(), layer, (channel + 1) % 4);
      --mDepth;
    }
  }

private:
  int mDepth = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size < 1 || size > (1u << 20)) return 0;
  const int which = data[0] % 3;

  // Zero-padded 8-byte blocks, enciphered as the build's encipher tool does.
  unsigned int key[4];
  resourceKeyWords(kResourceKeyBytes, key);
  const size_t n = size - 1;
  std::vector<unsigned char> enciphered((n + 7) / 8 * 8, 0);
  if (n) memcpy(enciphered.data(), data + 1, n);
  for (size_t i = 0; i < enciphered.size(); i += 8) Tea::simpleencrypt(enciphered.data() + i, key);

  WalkingConfig cfg;
  cfg.setResourceLoader([&](int, const char* name) {
    LoadedResource r;
    const bool ui = !strcmp(name, UIConfigManager::kUIResource);
    if ((ui && which == 1) || (!ui && which == 0))
    {
      r.problem = "not served";
      return r;
    }
    r.data.reset(new unsigned char[enciphered.size() + 8]());
    if (!enciphered.empty()) memcpy(r.data.get(), enciphered.data(), enciphered.size());
    r.size = (int)enciphered.size();
    return r;
  });
  // The system-exclusive lists alone skip the fixed tables the whole reading builds.
  if (which == 1)
    cfg.readSysexValues();
  else
    cfg.readUIConfig(nullptr, nullptr, nullptr, 0, 1.0);

  for (size_t i = 0; i < cfg.sysExContainers().size(); ++i)
    if (!cfg.getSysExContainer((int)i)) abort();
  return 0;
}
