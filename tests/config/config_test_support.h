#pragma once
// Resources made in memory and a log that keeps its lines, for the reader tests.

#include "cipher/ResourceCipher.h"
#include "cipher/Tea.h"
#include "config/UIConfigManager.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

// Enciphers raw bytes the way the encipher tool does (zero-padded blocks), but
// without refusing zero bytes, so tests can plant them.
inline std::vector<unsigned char> encipherBytes(const std::string& bytes, const unsigned char* keyBytes = kResourceKeyBytes)
{
  unsigned int key[4];
  resourceKeyWords(keyBytes, key);
  std::vector<unsigned char> out((bytes.size() + 7) / 8 * 8, 0);
  std::copy(bytes.begin(), bytes.end(), out.begin());
  for (size_t i = 0; i < out.size(); i += 8) Tea::simpleencrypt(out.data() + i, key);
  return out;
}

// Serves resources from memory by name; a missing name fails like a missing file.
struct MemoryResources
{
  std::map<std::string, std::vector<unsigned char>> files;
  std::vector<std::string> requested;

  UIConfigManager::ResourceLoader loader()
  {
    return [this](int, const char* name) {
      requested.push_back(name);
      LoadedResource r;
      const auto it = files.find(name);
      if (it == files.end())
      {
        r.problem = "not found";
        return r;
      }
      const std::vector<unsigned char>& bytes = it->second;
      r.data.reset(new unsigned char[(bytes.size() + 7) / 8 * 8 + 8]());
      if (!bytes.empty()) memcpy(r.data.get(), bytes.data(), bytes.size());
      r.size = (int)bytes.size();
      return r;
    };
  }
};

struct LogLines
{
  std::vector<std::string> lines;

  UIConfigManager::LogSink sink()
  {
    return [this](const std::string& line) { lines.push_back(line); };
  }
  int count(const std::string& part) const
  {
    int n = 0;
    for (const auto& l : lines) n += l.find(part) != std::string::npos;
    return n;
  }
};

inline const char* sysexResourceName() { return UIConfigManager::kSysExResource; }
inline const char* uiResourceName() { return UIConfigManager::kUIResource; }
