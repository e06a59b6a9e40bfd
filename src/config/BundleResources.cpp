#include "base/log.h"
#include "config/BundleResources.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

std::string folderOf(const std::string& path)
{
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string realPath(const char* path)
{
  char buf[PATH_MAX];
  return path && *path && realpath(path, buf) ? std::string(buf) : std::string();
}

}  // namespace

std::string BundleResources::defaultRoot()
{
  Dl_info info;
  std::string self;
  if (dladdr((void*)&BundleResources::defaultRoot, &info) && info.dli_fname) self = realPath(info.dli_fname);
  if (self.empty()) self = realPath("/proc/self/exe");
  return self.empty() ? std::string(".") : folderOf(self);
}

std::string BundleResources::pathOf(const char* name) const
{
  if (!name || !*name || name[0] == '/') return std::string();
  const std::string n(name);
  size_t start = 0;
  while (start <= n.size())
  {
    size_t end = n.find('/', start);
    if (end == std::string::npos) end = n.size();
    if (n.compare(start, end - start, "..") == 0 && end - start == 2) return std::string();
    start = end + 1;
  }
  return mRoot + "/" + n;
}

LoadedResource BundleResources::LoadFile(int /*id*/, const char* name)
{
  LoadedResource r;
  mLoadedSize = 0;
  const std::string path = pathOf(name);
  if (path.empty())
  {
    r.problem = "not a resource name";
    return r;
  }
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
  {
    r.problem = "not found in " + mRoot;
    return r;
  }
  FILE* f = fopen(path.c_str(), "rb");
  if (!f)
  {
    ConsoleLog("failed to open file\n");
    r.problem = std::string("cannot be opened: ") + strerror(errno);
    return r;
  }

  // Read up to one byte past the limit, so a file that grew since stat is caught too.
  std::vector<unsigned char> bytes;
  bytes.reserve((size_t)st.st_size < (size_t)kMaxResourceSize ? (size_t)st.st_size : (size_t)kMaxResourceSize);
  unsigned char chunk[65536];
  bool readError = false;
  while (bytes.size() <= (size_t)kMaxResourceSize)
  {
    const size_t got = fread(chunk, 1, sizeof(chunk), f);
    bytes.insert(bytes.end(), chunk, chunk + got);
    if (got < sizeof(chunk))
    {
      readError = ferror(f) != 0;
      break;
    }
  }
  fclose(f);
  if (readError)
  {
    r.problem = "cannot be read";
    return r;
  }
  if (bytes.size() > (size_t)kMaxResourceSize)
  {
    r.problem = "is larger than " + std::to_string(kMaxResourceSize) + " bytes";
    return r;
  }

  const size_t padded = (bytes.size() + 7) / 8 * 8;
  r.data.reset(new unsigned char[padded ? padded : 8]());
  if (!bytes.empty()) memcpy(r.data.get(), bytes.data(), bytes.size());
  r.size = (int)bytes.size();
  mLoadedSize = r.size;
  return r;
}
