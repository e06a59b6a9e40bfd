#include "platform/corefoundation/cfobject.h"

#include <cstring>
#include <dlfcn.h>
#include <fstream>
#include <link.h>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Absolute, without "." parts or repeated or trailing slashes ("/" stays "/").
std::string NormalisePath(const std::string& in)
{
  std::string path = in;
  if (path.empty() || path[0] != '/')
  {
    char cwd[4096];
    const std::string base = getcwd(cwd, sizeof(cwd)) ? cwd : "/";
    path = base + "/" + path;
  }
  std::vector<std::string> parts;
  size_t i = 0;
  while (i < path.size())
  {
    size_t j = path.find('/', i);
    if (j == std::string::npos) j = path.size();
    const std::string part = path.substr(i, j - i);
    if (part == "..") { if (!parts.empty()) parts.pop_back(); }
    else if (!part.empty() && part != ".") parts.push_back(part);
    i = j + 1;
  }
  std::string out;
  for (const auto& p : parts) out += "/" + p;
  return out.empty() ? "/" : out;
}

std::string FolderOf(const std::string& file)
{
  const size_t slash = file.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : file.substr(0, slash);
}

bool IsFile(const std::string& path)
{
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

const char kInfoFileName[] = "Info.txt";

// "Key = Value" lines; blank lines and lines starting with '#' are skipped.
bool ReadInfoFile(const std::string& folder, std::map<std::string, std::string>* info)
{
  std::ifstream in(folder + "/" + kInfoFileName);
  if (!in) return false;
  auto trim = [](std::string s) {
    const size_t a = s.find_first_not_of(" \t\r");
    const size_t b = s.find_last_not_of(" \t\r");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
  };
  std::string line;
  while (std::getline(in, line))
  {
    const std::string t = trim(line);
    if (t.empty() || t[0] == '#') continue;
    const size_t eq = t.find('=');
    if (eq == std::string::npos) continue;
    (*info)[trim(t.substr(0, eq))] = trim(t.substr(eq + 1));
  }
  return true;
}

}  // namespace

struct __CFURL : __CFType
{
  __CFURL(std::string p, bool dir) : __CFType(kCFURLTypeID), path(std::move(p)), isDirectory(dir) {}
  ~__CFURL() override
  {
    if (string) CFRelease(string);
  }
  bool Equal(const __CFType& other) const override
  {
    const __CFURL& o = static_cast<const __CFURL&>(other);
    return o.path == path && o.isDirectory == isDirectory;
  }
  CFHashCode Hash() const override { return (CFHashCode)std::hash<std::string>()(path); }
  std::string Describe() const override
  {
    static const char hex[] = "0123456789ABCDEF";
    std::string s = "file://";
    for (unsigned char c : path)
    {
      if (isalnum(c) || strchr("/-._~", c)) s += (char)c;
      else { s += '%'; s += hex[c >> 4]; s += hex[c & 15]; }
    }
    if (isDirectory && path != "/") s += '/';
    return s;
  }

  std::string path;
  bool isDirectory;
  mutable std::once_flag stringOnce;
  mutable CFStringRef string = nullptr;
};

CFTypeID CFURLGetTypeID() { return kCFURLTypeID; }

static CFURLRef MakeURL(const std::string& path, Boolean isDirectory)
{
  if (path.empty()) return nullptr;
  return new __CFURL(NormalisePath(path), isDirectory != 0);
}

CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef, CFStringRef filePath, CFURLPathStyle pathStyle, Boolean isDirectory)
{
  if (pathStyle != kCFURLPOSIXPathStyle || !CFCast<__CFString>(filePath, kCFStringTypeID)) return nullptr;
  return MakeURL(CFStringText(filePath), isDirectory);
}

CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef, const UInt8* buffer, CFIndex bufLen, Boolean isDirectory)
{
  if (!buffer || bufLen <= 0) return nullptr;
  return MakeURL(std::string((const char*)buffer, (size_t)bufLen), isDirectory);
}

Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean, UInt8* buffer, CFIndex maxBufLen)
{
  const __CFURL* u = CFCast<__CFURL>(url, kCFURLTypeID);
  if (!buffer || maxBufLen <= 0) return false;
  buffer[0] = 0;
  if (!u || (CFIndex)u->path.size() + 1 > maxBufLen) return false;
  memcpy(buffer, u->path.c_str(), u->path.size() + 1);
  return true;
}

CFStringRef CFURLCopyFileSystemPath(CFURLRef url, CFURLPathStyle pathStyle)
{
  const __CFURL* u = CFCast<__CFURL>(url, kCFURLTypeID);
  if (!u || pathStyle != kCFURLPOSIXPathStyle) return nullptr;
  return CFStringCreateFromText(u->path);
}

CFStringRef CFURLGetString(CFURLRef url)
{
  const __CFURL* u = CFCast<__CFURL>(url, kCFURLTypeID);
  if (!u) return nullptr;
  std::call_once(u->stringOnce, [u] { u->string = CFStringCreateFromText(u->Describe()); });
  return u->string;
}

Boolean CFURLHasDirectoryPath(CFURLRef url)
{
  const __CFURL* u = CFCast<__CFURL>(url, kCFURLTypeID);
  return u && u->isDirectory;
}

struct __CFBundle : __CFType
{
  __CFBundle() : __CFType(kCFBundleTypeID) { immortal = true; }
  std::string Describe() const override { return "CFBundle <" + folder + "> (" + CFStringText(identifier) + ")"; }

  std::string folder;
  std::string executable;  // full path, empty when the bundle names none
  bool isMain = false;
  CFStringRef identifier = nullptr;
  std::map<std::string, CFStringRef> info;
  std::mutex loadLock;
  void* handle = nullptr;
};

namespace {

struct BundleTable
{
  std::mutex lock;
  std::map<std::string, __CFBundle*> byFolder;
};

// Leaked on purpose: bundles live as long as the process.
BundleTable& Bundles()
{
  static BundleTable* t = new BundleTable;
  return *t;
}

// Caller holds the table lock. Null when the folder has no info file and is not
// the main program's.
__CFBundle* BundleForFolder(const std::string& folder, const std::string& mainExecutable)
{
  BundleTable& t = Bundles();
  auto it = t.byFolder.find(folder);
  if (it != t.byFolder.end()) return it->second;
  std::map<std::string, std::string> info;
  const bool hasInfo = ReadInfoFile(folder, &info);
  if (!hasInfo && mainExecutable.empty()) return nullptr;
  __CFBundle* b = new __CFBundle;
  b->folder = folder;
  b->isMain = !mainExecutable.empty();
  for (const auto& kv : info)
  {
    CFStringRef v = CFStringCreateWithCString(nullptr, kv.second.c_str(), kCFStringEncodingUTF8);
    if (v) b->info[kv.first] = v;
  }
  auto exe = info.find("CFBundleExecutable");
  if (b->isMain) b->executable = mainExecutable;
  else if (exe != info.end() && !exe->second.empty()) b->executable = folder + "/" + exe->second;
  auto id = b->info.find("CFBundleIdentifier");
  if (id != b->info.end()) b->identifier = id->second;
  else if (b->isMain) b->identifier = CFStringCreateFromText(mainExecutable.substr(mainExecutable.rfind('/') + 1));
  t.byFolder[folder] = b;
  return b;
}

std::string MainExecutable()
{
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  if (n <= 0) return std::string();
  return std::string(buf, (size_t)n);
}

int CollectObjectFolders(struct dl_phdr_info* info, size_t, void* data)
{
  if (info->dlpi_name && info->dlpi_name[0] == '/')
    static_cast<std::vector<std::string>*>(data)->push_back(FolderOf(NormalisePath(info->dlpi_name)));
  return 0;
}

}  // namespace

CFTypeID CFBundleGetTypeID() { return kCFBundleTypeID; }

CFBundleRef CFBundleGetMainBundle()
{
  const std::string exe = MainExecutable();
  if (exe.empty()) return nullptr;
  std::lock_guard<std::mutex> guard(Bundles().lock);
  return BundleForFolder(FolderOf(exe), exe);
}

CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef bundleID)
{
  if (!CFCast<__CFString>(bundleID, kCFStringTypeID)) return nullptr;
  CFBundleRef main = CFBundleGetMainBundle();
  if (main && CFEqual(main->identifier, bundleID)) return main;
  std::vector<std::string> folders;
  dl_iterate_phdr(CollectObjectFolders, &folders);
  std::lock_guard<std::mutex> guard(Bundles().lock);
  for (const auto& f : folders)
  {
    __CFBundle* b = BundleForFolder(f, std::string());
    if (b && b->identifier && CFEqual(b->identifier, bundleID)) return b;
  }
  return nullptr;
}

CFBundleRef CFBundleCreate(CFAllocatorRef, CFURLRef bundleURL)
{
  const __CFURL* u = CFCast<__CFURL>(bundleURL, kCFURLTypeID);
  if (!u) return nullptr;
  CFBundleRef main = CFBundleGetMainBundle();
  if (main && main->folder == u->path) return main;
  std::lock_guard<std::mutex> guard(Bundles().lock);
  return BundleForFolder(u->path, std::string());
}

CFStringRef CFBundleGetIdentifier(CFBundleRef bundle)
{
  const __CFBundle* b = CFCast<__CFBundle>(bundle, kCFBundleTypeID);
  return b ? b->identifier : nullptr;
}

CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle)
{
  const __CFBundle* b = CFCast<__CFBundle>(bundle, kCFBundleTypeID);
  return b ? MakeURL(b->folder, true) : nullptr;
}

CFURLRef CFBundleCopyExecutableURL(CFBundleRef bundle)
{
  const __CFBundle* b = CFCast<__CFBundle>(bundle, kCFBundleTypeID);
  return b && !b->executable.empty() ? MakeURL(b->executable, false) : nullptr;
}

CFTypeRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundle, CFStringRef key)
{
  const __CFBundle* b = CFCast<__CFBundle>(bundle, kCFBundleTypeID);
  if (!b || !CFCast<__CFString>(key, kCFStringTypeID)) return nullptr;
  auto it = b->info.find(CFStringText(key));
  return it == b->info.end() ? nullptr : it->second;
}

void* CFBundleGetDataPointerForName(CFBundleRef bundle, CFStringRef symbolName)
{
  __CFBundle* b = CFCastMutable<__CFBundle>(bundle, kCFBundleTypeID);
  if (!b || !CFCast<__CFString>(symbolName, kCFStringTypeID)) return nullptr;
  {
    std::lock_guard<std::mutex> guard(b->loadLock);
    if (!b->handle)
    {
      if (b->isMain) b->handle = dlopen(nullptr, RTLD_NOW);
      else if (IsFile(b->executable)) b->handle = dlopen(b->executable.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
  }
  return b->handle ? dlsym(b->handle, CFStringText(symbolName).c_str()) : nullptr;
}
