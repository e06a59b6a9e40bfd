#include "winsys/profile.h"

#include "base/filewrite.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct NoCaseLess
{
  bool operator()(const std::string& a, const std::string& b) const { return strcasecmp(a.c_str(), b.c_str()) < 0; }
};

typedef std::map<std::string, std::string, NoCaseLess> Section;
typedef std::map<std::string, Section, NoCaseLess> Sections;

// What identifies one version of a file: a rewrite through rename changes the
// inode, an in-place edit the size or the nanosecond times.
struct FileStamp
{
  bool valid = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  long long mtimeNs = 0;
  long long ctimeNs = 0;

  bool operator==(const FileStamp& o) const
  {
    return valid == o.valid && dev == o.dev && ino == o.ino && size == o.size && mtimeNs == o.mtimeNs &&
           ctimeNs == o.ctimeNs;
  }
};

FileStamp stampOf(const std::string& path)
{
  FileStamp s;
  struct stat st;
  if (path.empty() || stat(path.c_str(), &st) != 0) return s;
  s.valid = true;
  s.dev = st.st_dev;
  s.ino = st.st_ino;
  s.size = st.st_size;
  s.mtimeNs = (long long)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
  s.ctimeNs = (long long)st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec;
  return s;
}

struct iniFileContext
{
  unsigned long long lastAccess = 0;
  bool used = false;
  FileStamp stamp;
  std::string name;
  Sections sections;
  // The file is there but was not read whole (it could not be opened or read, or it
  // is no profile file): it reads as empty, and is never written over.
  bool unreadable = false;
};

const int kContexts = 32;
const size_t kMaxLine = 0x2000000;      // a longer line is read on as a further line
const size_t kMaxPreamble = 0x40000;    // this much text before any section: not a profile

std::recursive_mutex& profileMutex()
{
  static std::recursive_mutex m;
  return m;
}

iniFileContext* contexts()
{
  static iniFileContext table[kContexts];
  return table;
}

unsigned long long g_accessCounter = 0;

void trimRight(std::string& s)
{
  size_t n = s.size();
  while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\t' || s[n - 1] == '\r' || s[n - 1] == '\n')) --n;
  s.resize(n);
}

// Reads one line (without its line feed) of at most kMaxLine bytes. Returns false
// at the end of the file with nothing read; rawLength counts every byte consumed.
bool readLine(FILE* fp, std::string& line, size_t& rawLength)
{
  line.clear();
  rawLength = 0;
  int c;
  while (line.size() < kMaxLine && (c = getc(fp)) != EOF)
  {
    ++rawLength;
    if (c == '\n') return true;
    line.push_back((char)c);
  }
  return rawLength > 0;
}

// False when the file is no profile file: too much text before its first section.
bool parseFile(FILE* fp, Sections& sections)
{
  std::string line;
  size_t raw = 0, preamble = 0;
  Section* current = nullptr;
  bool anySection = false;
  while (readLine(fp, line, raw))
  {
    if (!anySection)
    {
      preamble += raw;
      if (preamble > kMaxPreamble)
      {
        sections.clear();
        return false;
      }
    }
    trimRight(line);
    size_t p = 0;
    while (p < line.size() && (line[p] == ' ' || line[p] == '\t')) ++p;
    if (p < line.size() && line[p] == '[')
    {
      size_t close = line.find(']', p + 1);
      if (close == std::string::npos) continue;  // not a header; the section stays current
      std::string name = line.substr(p + 1, close - p - 1);
      if (name.empty())
      {
        current = nullptr;  // names no section: the text before the first one goes on
        continue;
      }
      anySection = true;
      Section& s = sections[name];
      s.clear();  // a repeated header replaces the earlier keys
      current = &s;
      continue;
    }
    if (!current) continue;
    size_t eq = line.find('=', p);
    if (eq == std::string::npos || eq == p) continue;
    (*current)[line.substr(p, eq - p)] = line.substr(eq + 1);  // later duplicates win
  }
  return true;
}

void loadContext(iniFileContext& ctx)
{
  ctx.sections.clear();
  ctx.stamp = FileStamp();
  ctx.unreadable = false;
  FILE* fp = ctx.name.empty() ? nullptr : fopen(ctx.name.c_str(), "r");
  if (!fp)
  {
    // Only a file that is not there starts empty; any other failure would let the
    // next write replace what could not be read.
    ctx.unreadable = !ctx.name.empty() && errno != ENOENT;
    return;
  }
  flock(fileno(fp), LOCK_SH);
  if (!parseFile(fp, ctx.sections) || ferror(fp))
  {
    ctx.sections.clear();
    ctx.unreadable = true;
  }
  struct stat st;
  // The stamp of what was parsed: taken from the open file, not the path.
  if (fstat(fileno(fp), &st) == 0)
  {
    ctx.stamp.valid = true;
    ctx.stamp.dev = st.st_dev;
    ctx.stamp.ino = st.st_ino;
    ctx.stamp.size = st.st_size;
    ctx.stamp.mtimeNs = (long long)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
    ctx.stamp.ctimeNs = (long long)st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec;
  }
  flock(fileno(fp), LOCK_UN);
  fclose(fp);
}

// File names are compared exactly: two names differing in case are two files here.
iniFileContext& GetFileContext(const char* file)
{
  iniFileContext* table = contexts();
  iniFileContext* pick = nullptr;
  for (int i = 0; i < kContexts && !pick; ++i)
    if (!table[i].used || table[i].name == file) pick = &table[i];
  if (!pick)
  {
    pick = &table[0];
    for (int i = 1; i < kContexts; ++i)
      if (table[i].lastAccess < pick->lastAccess) pick = &table[i];
  }
  pick->lastAccess = ++g_accessCounter;
  if (pick->used && pick->name == file && pick->stamp == stampOf(pick->name)) return *pick;
  pick->used = true;
  pick->name = file;
  loadContext(*pick);
  return *pick;
}

std::string readingRule(const std::string& v)
{
  size_t b = 0, e = v.size();
  while (b < e && (v[b] == ' ' || v[b] == '\t')) ++b;
  while (e > b && (v[e - 1] == ' ' || v[e - 1] == '\t')) --e;
  if (e - b >= 2 && ((v[b] == '"' && v[e - 1] == '"') || (v[b] == '\'' && v[e - 1] == '\'')))
  {
    ++b;
    --e;
  }
  return v.substr(b, e - b);
}

int copyText(const std::string& s, char* out, int size)
{
  if (!out || size < 1) return 0;
  size_t n = s.size() < (size_t)(size - 1) ? s.size() : (size_t)(size - 1);
  memcpy(out, s.data(), n);
  out[n] = 0;
  return (int)n;
}

// NUL-separated list ended by a double NUL; a list that does not fit is cut.
int copyList(const std::vector<const std::string*>& names, char* out, int size)
{
  if (!out || size < 1) return 0;
  if (size < 2)
  {
    out[0] = 0;
    return 0;
  }
  std::string list;
  for (const std::string* n : names)
    if (!n->empty())
    {
      list += *n;
      list.push_back(0);
    }
  if (list.empty())
  {
    out[0] = out[1] = 0;
    return 0;
  }
  size_t n = list.size() - 1;
  if (n > (size_t)(size - 2)) n = (size_t)(size - 2);
  memcpy(out, list.data(), n);
  out[n] = out[n + 1] = 0;
  return (int)n;
}

// Holds an exclusive lock on the file's folder for one read-modify-write, so
// writers in other processes cannot interleave between our read and our rename.
class FolderLock
{
public:
  explicit FolderLock(const std::string& file)
  {
    size_t slash = file.rfind('/');
    std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : file.substr(0, slash));
    mFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (mFd >= 0) flock(mFd, LOCK_EX);
  }
  ~FolderLock()
  {
    if (mFd >= 0)
    {
      flock(mFd, LOCK_UN);
      close(mFd);
    }
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

private:
  int mFd = -1;
};

std::string serialise(const Sections& sections)
{
  std::string text;
  for (const auto& s : sections)
  {
    text += "[" + s.first + "]\n";
    for (const auto& kv : s.second)
      if (!kv.first.empty()) text += kv.first + "=" + kv.second + "\n";
    text += "\n";
  }
  return text;
}

// Writes the whole context to a fresh temporary file beside the target, flushed to
// disk, then renames it over the target. On failure the file stays as it was and
// the context is marked stale so the next read reloads what is on disk.
bool WriteBackFile(iniFileContext& ctx)
{
  const std::string& path = ctx.name;
  const std::string text = serialise(ctx.sections);
  const bool ok = !path.empty() && writeFileDurably(path, text.data(), text.size(), true) == 0;
  ctx.stamp = ok ? stampOf(path) : FileStamp();
  if (!ok) ctx.used = false;  // forget the unsaved change; disk is the truth
  return ok;
}

// Texts a line of the file carries back as they were written. A line break would end
// the line early and let the rest read as further keys or sections; a section name
// holds no ']' and a key no '=' (each ends there when read back); a key that begins
// with a blank or '[' reads back under another name or as a section.
bool hasLineBreak(const char* s) { return strpbrk(s, "\r\n") != nullptr; }
bool storableSection(const char* app) { return app[0] && !hasLineBreak(app) && !strchr(app, ']'); }
bool storableKey(const char* key, size_t len)
{
  if (!len || key[0] == ' ' || key[0] == '\t' || key[0] == '[') return false;
  for (size_t i = 0; i < len; ++i)
    if (key[i] == '=' || key[i] == '\r' || key[i] == '\n') return false;
  return true;
}

}  // namespace

int GetPrivateProfileString(const char* app, const char* key, const char* defval, char* out, int size,
                            const char* file)
{
  if (!out || size < 1) return 0;
  std::lock_guard<std::recursive_mutex> lock(profileMutex());
  if (!file)
  {
    if (app && key) return copyText(defval ? defval : "", out, size);
    return copyList({}, out, size);
  }
  iniFileContext& ctx = GetFileContext(file);
  if (app && key)
  {
    auto s = ctx.sections.find(app);
    if (s != ctx.sections.end())
    {
      auto kv = s->second.find(key);
      if (kv != s->second.end()) return copyText(readingRule(kv->second), out, size);
    }
    return copyText(defval ? defval : "", out, size);
  }
  std::vector<const std::string*> names;
  if (!app)
    for (const auto& s : ctx.sections) names.push_back(&s.first);
  else
  {
    auto s = ctx.sections.find(app);
    if (s != ctx.sections.end())
      for (const auto& kv : s->second) names.push_back(&kv.first);
  }
  return copyList(names, out, size);
}

int GetPrivateProfileInt(const char* app, const char* key, int defval, const char* file)
{
  char buf[512];
  GetPrivateProfileString(app, key, "", buf, sizeof(buf), file);
  if (!buf[0]) return defval;
  int v = atoi(buf);
  if (v == 0 && buf[0] != '0') return defval;
  return v;
}

int GetPrivateProfileSection(const char* app, char* out, int size, const char* file)
{
  if (!out || size < 2)
  {
    if (out && size == 1) out[0] = 0;
    return 0;
  }
  std::lock_guard<std::recursive_mutex> lock(profileMutex());
  const Section* sec = nullptr;
  if (app && file)
  {
    iniFileContext& ctx = GetFileContext(file);
    auto s = ctx.sections.find(app);
    if (s != ctx.sections.end()) sec = &s->second;
  }
  if (!sec || sec->empty())
  {
    out[0] = out[1] = 0;
    return 0;
  }
  int pos = 0;
  for (const auto& kv : *sec)
  {
    std::string head = kv.first + "=";
    for (char c : head)
      if (pos < size - 2) out[pos++] = c;
    int remaining = size - pos;
    if (remaining >= 3)
    {
      std::string v = readingRule(kv.second);
      int n = (int)v.size() < remaining - 3 ? (int)v.size() : remaining - 3;
      memcpy(out + pos, v.data(), (size_t)n);
      pos += n;
    }
    if (size - pos >= 2) out[pos++] = 0;
    if (pos >= size - 1)
    {
      out[size - 1] = 0;
      return size - 2;
    }
  }
  out[pos] = 0;
  if (pos == 0) out[1] = 0;
  return pos;
}

BOOL GetPrivateProfileStruct(const char* app, const char* key, void* buffer, int size, const char* file)
{
  if (!app || !key || !buffer || size < 0 || size > (INT_MAX - 17) / 2) return FALSE;
  std::vector<char> text((size_t)size * 2 + 17);
  int len = GetPrivateProfileString(app, key, "", text.data(), (int)text.size(), file);
  if (len != size * 2 + 2) return FALSE;
  auto hexval = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  // Decoded aside: a value that fails its check leaves the caller's buffer as it was.
  std::vector<unsigned char> bytes((size_t)size);
  unsigned sum = 0;
  for (int i = 0; i <= size; ++i)
  {
    int hi = hexval(text[(size_t)i * 2]), lo = hexval(text[(size_t)i * 2 + 1]);
    if (hi < 0 || lo < 0) return FALSE;
    unsigned char b = (unsigned char)(hi * 16 + lo);
    if (i == size)
    {
      if ((sum & 0xFF) != b) return FALSE;
      if (size) memcpy(buffer, bytes.data(), (size_t)size);
      return TRUE;
    }
    bytes[(size_t)i] = b;
    sum += b;
  }
  return FALSE;
}

BOOL WritePrivateProfileString(const char* app, const char* key, const char* value, const char* file)
{
  if (!app || !file || (key && !key[0])) return FALSE;
  // What the file could not give back is refused, not written and lost.
  if (key && value && (!storableSection(app) || !storableKey(key, strlen(key)) || hasLineBreak(value))) return FALSE;
  std::lock_guard<std::recursive_mutex> lock(profileMutex());
  FolderLock folderLock(file);
  iniFileContext& ctx = GetFileContext(file);  // re-read under the lock: another process may have written
  if (ctx.unreadable) return FALSE;
  auto s = ctx.sections.find(app);
  if (!key)
  {
    if (s == ctx.sections.end()) return TRUE;
    ctx.sections.erase(s);
    return WriteBackFile(ctx) ? TRUE : FALSE;
  }
  if (!value)
  {
    if (s == ctx.sections.end()) return TRUE;
    auto kv = s->second.find(key);
    if (kv == s->second.end()) return TRUE;
    s->second.erase(kv);
    return WriteBackFile(ctx) ? TRUE : FALSE;
  }
  if (s != ctx.sections.end())
  {
    auto kv = s->second.find(key);
    if (kv != s->second.end() && kv->second == value) return TRUE;
  }
  ctx.sections[app][key] = value;
  return WriteBackFile(ctx) ? TRUE : FALSE;
}

BOOL WritePrivateProfileSection(const char* app, const char* strings, const char* file)
{
  if (!app || !file) return FALSE;
  for (const char* p = strings; p && *p; p += strlen(p) + 1)
  {
    // The entries the loop below takes (an empty key is dropped there, as before).
    const char* eq = (const char*)memchr(p, '=', strnlen(p, 8191));
    if (eq && eq != p && (!storableSection(app) || !storableKey(p, (size_t)(eq - p)) || hasLineBreak(eq + 1)))
      return FALSE;
  }
  std::lock_guard<std::recursive_mutex> lock(profileMutex());
  FolderLock folderLock(file);
  iniFileContext& ctx = GetFileContext(file);
  if (ctx.unreadable) return FALSE;
  auto s = ctx.sections.find(app);
  if (s == ctx.sections.end())
  {
    if (!strings || !strings[0]) return TRUE;
    s = ctx.sections.emplace(app, Section()).first;
  }
  s->second.clear();
  for (const char* p = strings; p && *p; p += strlen(p) + 1)
  {
    size_t len = strnlen(p, 8191);
    const char* eq = (const char*)memchr(p, '=', len);
    if (!eq) continue;
    s->second[std::string(p, (size_t)(eq - p))] = std::string(eq + 1);
  }
  return WriteBackFile(ctx) ? TRUE : FALSE;
}

BOOL WritePrivateProfileStruct(const char* app, const char* key, const void* buffer, int size, const char* file)
{
  if (!key || !buffer) return WritePrivateProfileString(app, key, (const char*)buffer, file);
  if (size < 0 || size > (INT_MAX - 3) / 2) return FALSE;
  static const char hex[] = "0123456789ABCDEF";
  std::string text;
  text.reserve((size_t)size * 2 + 2);
  unsigned sum = 0;
  const unsigned char* bytes = (const unsigned char*)buffer;
  for (int i = 0; i < size; ++i)
  {
    text.push_back(hex[bytes[i] >> 4]);
    text.push_back(hex[bytes[i] & 15]);
    sum += bytes[i];
  }
  text.push_back(hex[(sum >> 4) & 15]);
  text.push_back(hex[sum & 15]);
  return WritePrivateProfileString(app, key, text.c_str(), file);
}
