// Runs a fuzz target once over every file of the folders (or files) it is given, so
// the test build replays the seeds and the kept findings without libFuzzer.

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool readFile(const std::string& path, std::vector<uint8_t>* out)
{
  FILE* fp = fopen(path.c_str(), "rb");
  if (!fp) return false;
  out->clear();
  uint8_t buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), fp)) > 0) out->insert(out->end(), buf, buf + n);
  const bool ok = !ferror(fp);
  fclose(fp);
  return ok;
}

void collect(const std::string& path, std::vector<std::string>* files)
{
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return;  // a folder of kept findings may not exist yet
  if (!S_ISDIR(st.st_mode))
  {
    files->push_back(path);
    return;
  }
  DIR* dir = opendir(path.c_str());
  if (!dir) return;
  while (dirent* e = readdir(dir))
    if (e->d_name[0] != '.') collect(path + "/" + e->d_name, files);
  closedir(dir);
}

}  // namespace

int main(int argc, char** argv)
{
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) collect(argv[i], &files);
  std::sort(files.begin(), files.end());
  if (files.empty())
  {
    fprintf(stderr, "no inputs\n");
    return 1;
  }
  std::vector<uint8_t> data;
  for (const std::string& f : files)
  {
    if (!readFile(f, &data))
    {
      fprintf(stderr, "cannot read %s\n", f.c_str());
      return 1;
    }
    // A copy of exactly the file's size, so reading past it is caught.
    std::vector<uint8_t> exact(data);
    LLVMFuzzerTestOneInput(exact.empty() ? nullptr : exact.data(), exact.size());
  }
  printf("%zu inputs replayed\n", files.size());
  return 0;
}
