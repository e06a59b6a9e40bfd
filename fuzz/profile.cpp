// Private profile files (src/winsys/profile): every reader over a file of fuzzed
// content, into buffers of the fuzzed size and into large ones, then a key written
// and read back.
//
// Checks: no call writes past its buffer, every result is ended as documented; the
// key and section lists, the values, the section texts and the integers agree with
// each other; a key written reads back as written, and every other key of the file
// reads as it did before the write.
//
// Input: a buffer size, a 16-bit content length (little-endian), the file's content,
// then section, key and value texts separated by zero bytes.

#include "TestFiles.h"

#include "winsys/profile.h"

#include <strings.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

std::vector<std::string> splitList(const char* p, int n)
{
  std::vector<std::string> out;
  for (int i = 0; i < n;)
  {
    const std::string s(p + i);
    out.push_back(s);
    i += (int)s.size() + 1;
  }
  return out;
}

// A list result of a buffer of size bytes: n characters, then two zeros.
void checkList(const std::vector<char>& buf, int n)
{
  const int size = (int)buf.size();
  if (size < 2) return;
  if (n < 0 || n > size - 2 || buf[(size_t)n] != 0 || buf[(size_t)n + 1] != 0) abort();
}

// A section's texts: each ended by its zero, then one more; a cut list returns
// size - 2 and ends with two zeros.
void checkSection(const std::vector<char>& buf, int n)
{
  const int size = (int)buf.size();
  if (size < 2) return;
  if (n < 0 || n > size - 2 || buf[(size_t)n] != 0) abort();
  if (n == size - 2 ? buf[(size_t)n + 1] != 0 : n > 0 && buf[(size_t)n - 1] != 0) abort();
}

std::vector<std::string> sectionsOf(const char* file, size_t room)
{
  std::vector<char> buf(room);
  const int n = GetPrivateProfileString(nullptr, nullptr, "", buf.data(), (int)buf.size(), file);
  checkList(buf, n);
  return splitList(buf.data(), n);
}

std::vector<std::string> keysOf(const std::string& section, const char* file, size_t room)
{
  std::vector<char> buf(room);
  const int n = GetPrivateProfileString(section.c_str(), nullptr, "", buf.data(), (int)buf.size(), file);
  checkList(buf, n);
  return splitList(buf.data(), n);
}

std::string valueOf(const std::string& section, const std::string& key, const char* file, size_t room)
{
  std::vector<char> buf(room);
  const int n = GetPrivateProfileString(section.c_str(), key.c_str(), "\x01", buf.data(), (int)buf.size(), file);
  if (n < 0 || n > (int)buf.size() - 1 || buf[(size_t)n] != 0) abort();
  return std::string(buf.data());
}

typedef std::map<std::pair<std::string, std::string>, std::string> Snapshot;

// Every section's every key with its value, as the readers give them.
Snapshot snapshot(const char* file, size_t room)
{
  Snapshot s;
  for (const std::string& sec : sectionsOf(file, room))
    for (const std::string& key : keysOf(sec, file, room)) s[{sec, key}] = valueOf(sec, key, file, room);
  return s;
}

bool blank(char c) { return c == ' ' || c == '\t'; }

// Texts a profile line carries: no line breaks anywhere, no ']' in a section name, no
// '=' in a key, no blank or '[' opening a key. The writer refuses anything else.
bool storable(const std::string& sec, const std::string& key, const std::string& value)
{
  for (const std::string* t : {&sec, &key, &value})
    if (t->find_first_of("\r\n") != std::string::npos) return false;
  if (sec.empty() || sec.find(']') != std::string::npos) return false;
  return !key.empty() && key.find('=') == std::string::npos && !blank(key[0]) && key[0] != '[';
}

// A stored value reads back unchanged unless the reading rule takes blanks or a pair
// of quotes off its ends.
bool readsBackUnchanged(const std::string& value)
{
  if (!value.empty() && (blank(value[0]) || blank(value.back()))) return false;
  return !(value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]);
}

std::string fileText(const char* file)
{
  std::string text;
  if (FILE* fp = fopen(file, "rb"))
  {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), fp)) > 0) text.append(buf, n);
    fclose(fp);
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  static TempFolder folder("davrel-fuzz-profile");
  static unsigned counter = 0;
  if (size < 3 || folder.path().empty()) return 0;
  const int small = data[0] % 40;
  size_t len = (size_t)data[1] | (size_t)data[2] << 8;
  data += 3;
  size -= 3;
  if (len > size) len = size;
  const std::string content((const char*)data, len);
  std::vector<std::string> texts(1);
  for (size_t i = len; i < size; ++i)
    if (data[i] == 0) texts.emplace_back();
    else texts.back().push_back((char)data[i]);
  texts.resize(3);

  // A new name for every input: the readers' cache never sees an old file's stamp.
  const std::string path = folder.path() + "/p" + std::to_string(counter++) + ".ini";
  const char* file = path.c_str();
  FILE* fp = fopen(file, "wb");
  if (!fp) abort();
  fwrite(content.data(), 1, content.size(), fp);
  fclose(fp);

  // Buffers of the fuzzed size, exactly that large.
  const std::string& sec = texts[0];
  const std::string& key = texts[1];
  {
    std::vector<char> buf((size_t)small);
    char* out = small ? buf.data() : nullptr;
    int n = GetPrivateProfileString(nullptr, nullptr, "", out, small, file);
    checkList(buf, n);
    n = GetPrivateProfileString(sec.c_str(), nullptr, "", out, small, file);
    checkList(buf, n);
    n = GetPrivateProfileSection(sec.c_str(), out, small, file);
    checkSection(buf, n);
    n = GetPrivateProfileString(sec.c_str(), key.c_str(), "default", out, small, file);
    if (small && (n < 0 || n > small - 1 || buf[(size_t)n] != 0)) abort();
    if (!small && n != 0) abort();
    GetPrivateProfileStruct(sec.c_str(), key.c_str(), out, small, file);
  }

  // The readers agree with each other. A zero byte in the file cuts a name or value
  // in the lists, so only files without one are held to that.
  const size_t room = content.size() + 64;
  const Snapshot before = snapshot(file, room);
  if (content.find('\0') == std::string::npos)
    for (const std::string& s : sectionsOf(file, room))
    {
      std::vector<char> buf(room);
      const int n = GetPrivateProfileSection(s.c_str(), buf.data(), (int)buf.size(), file);
      checkSection(buf, n);
      const std::vector<std::string> entries = splitList(buf.data(), n);
      const std::vector<std::string> keys = keysOf(s, file, room);
      if (entries.size() != keys.size()) abort();
      for (size_t i = 0; i < keys.size(); ++i)
      {
        const std::string value = valueOf(s, keys[i], file, room);
        if (entries[i] != keys[i] + "=" + value) abort();
        // The integer reader sees at most 511 characters; a text that reads as no
        // number gives the default.
        const std::string head = value.substr(0, 511);
        int expected = head.empty() ? -12345 : atoi(head.c_str());
        if (expected == 0 && !head.empty() && head[0] != '0') expected = -12345;
        if (GetPrivateProfileInt(s.c_str(), keys[i].c_str(), -12345, file) != expected) abort();
      }
    }

  // A key written reads back as written, from the disk (another name for the file
  // has no cached copy); nothing else of the file changes. What the file could not
  // give back is refused and the file stays as it was.
  const std::string& value = texts[2];
  const std::string alias = folder.path() + "/./p" + std::to_string(counter - 1) + ".ini";
  if (!storable(sec, key, value))
  {
    if (WritePrivateProfileString(sec.c_str(), key.c_str(), value.c_str(), file)) abort();
    if (fileText(file) != content) abort();
  }
  else
  {
    if (!WritePrivateProfileString(sec.c_str(), key.c_str(), value.c_str(), file)) abort();
    const size_t after = room + sec.size() + key.size() + value.size() + 8;
    if (readsBackUnchanged(value) && valueOf(sec, key, alias.c_str(), after) != value) abort();
    for (const auto& kv : before)
    {
      if (!strcasecmp(kv.first.first.c_str(), sec.c_str()) && !strcasecmp(kv.first.second.c_str(), key.c_str()))
        continue;
      if (valueOf(kv.first.first, kv.first.second, alias.c_str(), after) != kv.second) abort();
    }
    // The value's bytes as a checked structure under a second key.
    const std::string structKey = key + "-struct";
    if (!WritePrivateProfileStruct(sec.c_str(), structKey.c_str(), value.data(), (int)value.size(), file)) abort();
    std::vector<char> back(value.size() + 1);
    if (!GetPrivateProfileStruct(sec.c_str(), structKey.c_str(), back.data(), (int)value.size(), alias.c_str()))
      abort();
    if (memcmp(back.data(), value.data(), value.size()) != 0) abort();
  }
  remove(file);
  return 0;
}
