// The program ("fxp") and bank ("fxb") file readers, through the file chooser as the
// user reaches them. The first byte picks the reader and whether the plug-in saves
// state chunks; the rest is the file. No value may leave its parameter's range, and
// a refused program file changes nothing.

#include "PlugValues.h"
#include "TestPlug.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// The file the chooser hands over, removed when the process ends normally (the text
// outlives every static destructor, so the exit handler may read it).
const char* FilePath()
{
  static char path[4096];
  if (!path[0])
  {
    const char* base = getenv("TMPDIR");
    snprintf(path, sizeof(path), "%s/davrel-fuzz-fxXXXXXX", base && *base ? base : "/tmp");
    const int fd = mkstemp(path);
    if (fd < 0) abort();
    close(fd);
    atexit([] { unlink(path); });
  }
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size < 1 || size > (1u << 20)) return 0;
  FILE* fp = fopen(FilePath(), "wb");
  if (!fp) abort();
  if (size > 1 && fwrite(data + 1, 1, size - 1, fp) != size - 1) abort();
  fclose(fp);

  const bool bank = data[0] & 1, chunks = data[0] & 2;
  std::unique_ptr<RecordingPlug> p(RecordingPlug::MakeAutomatable(3, 2, chunks));
  p->GetParam(0)->InitInt("Level", 10, 0, 127);
  p->GetParam(1)->InitDouble("Pan", 0.5, -1.0, 1.0, 0.01);
  p->GetParam(2)->InitBool("On", true);
  p->MakePreset("Lead", 100, 0.25, 0);
  FakeGraphics* g = new FakeGraphics(p.get());
  p->AttachGraphics(g);
  g->nextPath = FilePath();

  const std::vector<double> before = ValuesInRange(p.get());
  if (bank)
  {
    p->LoadBankFromFXB();
    ValuesInRange(p.get());
  }
  else if (!p->LoadProgramFromFXP())
  {
    if (ValuesInRange(p.get()) != before || p->programChanges) abort();
  }
  for (int i = 0; i < p->NPresets(); ++i)
    if (!memchr(p->GetPresetName(i), 0, IPreset::kNameLen)) abort();
  return 0;
}
