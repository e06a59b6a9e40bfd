// The folder scan over a folder made from the input: up to four files at depths 0 to
// 3 below "Patches", each with a chosen name and extension, its content repeated to
// a chosen size (large ones are split into new banks and moved away), and links
// that lead back up the tree. Every listed bank must hold 128 whole programs.
//
// Input: a count byte, then per file a layout byte (depth, size, extension, link), a
// byte of folder names (two bits a level), a 16-bit content length and the content.

#include "librarian/LibrarianLog.h"
#include "librarian/PatchLibrarian.h"

#include "hardware/SysexPacking.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// A fresh data folder for the process, removed when it ends normally (the text
// outlives every static destructor, so the exit handler may read it).
const char* dataRoot()
{
  static char root[4096];
  if (!root[0])
  {
    const char* base = getenv("TMPDIR");
    snprintf(root, sizeof(root), "%s/davrel-fuzz-scanXXXXXX", base && *base ? base : "/tmp");
    if (!mkdtemp(root)) abort();
    setenv("DAVREL_DATA_DIR", (std::string(root) + "/").c_str(), 1);
    atexit([] {
      std::error_code ec;
      fs::remove_all(root, ec);
    });
  }
  return root;
}

void writeFile(const fs::path& path, const uint8_t* content, size_t n, size_t target)
{
  FILE* fp = fopen(path.c_str(), "wb");
  if (!fp) return;
  size_t written = 0;
  if (n) fwrite(content, 1, n, fp), written = n;
  while (n && written < target)
  {
    const size_t k = std::min(n, target - written);
    fwrite(content, 1, k, fp);
    written += k;
  }
  fclose(fp);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  setLibrarianLogSink(nullptr);
  const fs::path root = dataRoot();
  std::error_code ec;
  fs::remove_all(root / "Patches", ec);
  fs::remove_all(root / "Converted Banks", ec);
  fs::create_directories(root / "Patches", ec);
  if (size < 1) return 0;

  static const char* const kFolders[] = {"A", "B", "a b", "Z"};
  static const char* const kExtensions[] = {"syx", "mid", "dvl", "wvb", "SYX", "Mid", "txt", ""};
  static const size_t kSizes[] = {0, 25001, 40000, 70000};
  const int files = 1 + (data[0] & 3);
  size_t pos = 1;
  for (int f = 0; f < files && pos + 4 <= size; ++f)
  {
    const uint8_t layout = data[pos], names = data[pos + 1];
    const size_t len = std::min<size_t>((size_t)data[pos + 2] << 8 | data[pos + 3], size - pos - 4);
    const uint8_t* content = data + pos + 4;
    pos += 4 + len;

    fs::path dir = root / "Patches";
    const int depth = layout & 3;
    for (int d = 0; d < depth; ++d) dir /= kFolders[(names >> (2 * d)) & 3];
    fs::create_directories(dir, ec);
    if (layout & 0x80)
    {
      // A link back to the bank root, so a folder is reached twice.
      fs::create_directory_symlink(root / "Patches", dir / "up", ec);
    }
    const std::string name = "bank" + std::to_string(f) + "." + kExtensions[(layout >> 4) & 7];
    writeFile(dir / name, content, len, kSizes[(layout >> 2) & 3]);
  }

  PatchLibrarian lib;
  lib.loadPatchesFromFilesystem((root / "Patches").string());
  for (const PatchFile* bank : lib.patchFiles)
  {
    if (bank->patches.size() != 128 || bank->pathFolders.empty()) abort();
    for (const LibrarianPatch& slot : bank->patches)
      for (const PatchSysexMessage& m : slot.messages)
        if (!isProgramDump(m.bytes.data(), (int)m.bytes.size())) abort();
  }
  return 0;
}
