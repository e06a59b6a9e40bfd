// Writes the seed corpora: valid inputs of every reader, made by our own writers
// (bank writer, program and bank file writers, state serialisers) and, for images,
// by libpng's writer over patterns made here. Run from the fuzz build:
//   cmake --build <build> --target fuzz_seeds

#include "TestPlug.h"

#include "config/ParamIds.h"
#include "hardware/DumpLayout.h"
#include "hardware/SysexMessages.h"
#include "hardware/SysexPacking.h"
#include "librarian/BankFormats.h"
#include "librarian/LibrarianTypes.h"
#include "plug/ByteChunk.h"
#include "winsys/profile.h"

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

std::vector<std::vector<uint8_t>> EditorStateSeeds();  // make_seeds_editor.cpp
using Bytes = std::vector<uint8_t>;

namespace {

fs::path gOut;

void Write(const std::string& target, const std::string& name, const Bytes& b)
{
  fs::create_directories(gOut / target);
  std::ofstream(gOut / target / name, std::ios::binary).write((const char*)b.data(), (std::streamsize)b.size());
}

Bytes Read(const fs::path& p)
{
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes Prefixed(uint8_t first, const Bytes& b)
{
  Bytes v{first};
  v.insert(v.end(), b.begin(), b.end());
  return v;
}

// ---- images ----

void Append(png_structp png, png_bytep data, png_size_t n)
{
  Bytes* out = (Bytes*)png_get_io_ptr(png);
  out->insert(out->end(), data, data + n);
}

Bytes Png(int w, int h, int depth, int colorType, bool interlaced, bool trns, bool gamma)
{
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) abort();
  png_set_write_fn(png, &out, Append, nullptr);
  png_set_IHDR(png, info, w, h, depth, colorType, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (colorType == PNG_COLOR_TYPE_PALETTE)
  {
    png_color pal[16];
    for (int i = 0; i < 16; ++i) pal[i] = {(png_byte)(i * 16), (png_byte)(255 - i * 16), (png_byte)(i * 7)};
    png_set_PLTE(png, info, pal, 16);
    if (trns)
    {
      png_byte alpha[4] = {0, 64, 128, 200};
      png_set_tRNS(png, info, alpha, 4, nullptr);
    }
  }
  else if (trns)
  {
    png_color_16 key = {};
    key.gray = key.red = 1;
    png_set_tRNS(png, info, nullptr, 0, &key);
  }
  if (gamma) png_set_gAMA(png, info, 0.7);
  png_write_info(png, info);
  const size_t rowBytes = png_get_rowbytes(png, info);
  std::vector<Bytes> rows((size_t)h, Bytes(rowBytes));
  std::vector<png_bytep> ptrs;
  for (int y = 0; y < h; ++y)
  {
    for (size_t i = 0; i < rowBytes; ++i) rows[(size_t)y][i] = (uint8_t)(i * 37 + (size_t)y * 11);
    ptrs.push_back(rows[(size_t)y].data());
  }
  png_write_image(png, ptrs.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

void Images()
{
  const struct { const char* name; int w, h, depth, type; bool interlaced, trns, gamma; } images[] = {
      {"gray1.png", 9, 3, 1, PNG_COLOR_TYPE_GRAY, false, false, false},
      {"gray4-trns.png", 5, 4, 4, PNG_COLOR_TYPE_GRAY, false, true, false},
      {"gray16.png", 4, 4, 16, PNG_COLOR_TYPE_GRAY, false, false, false},
      {"gray-alpha.png", 6, 2, 8, PNG_COLOR_TYPE_GRAY_ALPHA, false, false, false},
      {"palette4-trns.png", 7, 5, 4, PNG_COLOR_TYPE_PALETTE, false, true, false},
      {"rgb-interlaced.png", 11, 9, 8, PNG_COLOR_TYPE_RGB, true, false, false},
      {"rgb16-trns.png", 3, 3, 16, PNG_COLOR_TYPE_RGB, false, true, false},
      {"rgba.png", 8, 8, 8, PNG_COLOR_TYPE_RGB_ALPHA, false, false, false},
      {"rgba-gamma.png", 4, 2, 8, PNG_COLOR_TYPE_RGB_ALPHA, false, false, true},
  };
  for (const auto& i : images)
  {
    const Bytes b = Png(i.w, i.h, i.depth, i.type, i.interlaced, i.trns, i.gamma);
    Write("png", i.name, b);
    Write("png_diff", i.name, b);
  }
}

// ---- banks ----

Bytes Program(int n)
{
  uint8_t data[kProgramDataSize];
  for (int i = 0; i < kProgramDataSize; ++i) data[i] = (uint8_t)((i * 5 + n * 13) & 0x7F);
  char name[13];
  snprintf(name, sizeof(name), "Seed %-7d", n);
  memcpy(data, name, kProgramNameLength);
  Bytes dump(kProgramDumpSize);
  makeProgramDump(data, 0x30, dump.data());
  return dump;
}

Bytes AllDump(bool allData)
{
  Bytes data((size_t)(allData ? kAllDataDataSize : kAllProgramDataSize));
  for (size_t i = 0; i < data.size(); ++i) data[i] = (uint8_t)((i * 3) & 0x7F);
  Bytes msg{0xF0, 0x42, 0x30, 0x58, (uint8_t)(allData ? kSysexAllDataDumpFunction : kSysexAllProgramDumpFunction)};
  Bytes packed((size_t)sysexPackedSize((int)data.size()));
  sysexPack7(data.data(), (int)data.size(), packed.data());
  msg.insert(msg.end(), packed.begin(), packed.end());
  msg.push_back(0xF7);
  return msg;
}

Bytes Bank(int programs, bool isMid)
{
  PatchFile bank;
  for (int i = 0; i < programs; ++i)
  {
    LibrarianPatch slot;
    slot.messages.push_back({Program(i)});
    bank.patches.push_back(slot);
  }
  ByteChunk out;
  appendBankBytes(bank, isMid, &out);
  return Bytes(out.Data(), out.Data() + out.Size());
}

// A folder-scan file entry: layout, folder names, 16-bit length, content.
void Entry(Bytes* v, uint8_t layout, uint8_t names, const Bytes& content)
{
  v->push_back(layout);
  v->push_back(names);
  v->push_back((uint8_t)(content.size() >> 8));
  v->push_back((uint8_t)content.size());
  v->insert(v->end(), content.begin(), content.end());
}

void Banks()
{
  Write("bank", "program.syx", Program(1));
  Write("bank", "raw-bank.dvl", Bank(128, false));
  Write("bank", "bank.mid", Bank(128, true));
  Write("bank", "all-programs.syx", AllDump(false));
  Write("bank", "all-data.syx", AllDump(true));
  Bytes two = Program(2);
  const Bytes three = Program(3);
  two.insert(two.end(), three.begin(), three.end());
  Write("bank", "two-programs.syx", two);

  // layout: depth (bits 0-1), size (2-3: exact, 25001, 40000, 70000), extension (4-6), link (7)
  Bytes one{0};
  Entry(&one, 0x04, 0, Program(4));  // depth 0, .syx repeated to one bank
  Write("folder_scan", "one-bank", one);
  Bytes split{0};
  Entry(&split, 0x0D | 0x20, 0x01, two);  // depth 1, .dvl grown past 128 programs: split
  Write("folder_scan", "split", split);
  Bytes tree{2};
  Entry(&tree, 0x06 | 0x30, 0x12, Program(5));  // depth 2, .wvb
  Entry(&tree, 0x87, 0x1B, Program(6));          // depth 3 with a link back up
  Entry(&tree, 0x05, 0x00, Program(7));
  Write("folder_scan", "tree", tree);
}

// ---- MIDI input ----

void Streams()
{
  Bytes dump = Program(8);
  dump.insert(dump.begin() + 100, 0xF8);  // a clock tick inside the message
  Write("midi_framer", "program-with-clock", Prefixed(3, Prefixed(7, dump)));
  const Bytes mixed{0x90, 0x3C, 0x64, 0xF0, 0x42, 0x30, 0x58, 0x41, 0x01, 0xF7, 0xB0, 0x07, 0x40,
                    0xF0, 0x01, 0x02, 0x90, 0x3C, 0x00, 0xFE, 0xF0, 0x7E, 0xF7};
  Write("midi_framer", "mixed", Prefixed(2, Prefixed(1, mixed)));
}

// ---- plug-in state ----

std::unique_ptr<RecordingPlug> Automatable(int nPresets, bool chunks)
{
  std::unique_ptr<RecordingPlug> p(RecordingPlug::MakeAutomatable(nPresets ? 3 : 4, nPresets, chunks));
  p->GetParam(0)->InitInt("Level", 10, 0, 127);
  p->GetParam(1)->InitDouble("Pan", 0.5, -1.0, 1.0, 0.01);
  p->GetParam(2)->InitBool("On", true);
  if (!nPresets) p->GetParam(3)->InitEnum("Mode", 1, 3);
  return p;
}

Bytes ChunkBytes(const ByteChunk& c) { return Bytes(c.Data(), c.Data() + c.Size()); }

void States()
{
  auto p = Automatable(0, true);
  p->GetParam(0)->Set(99);
  ByteChunk params;
  p->SerializeState(&params);
  Write("plug_state", "params", Prefixed(0, ChunkBytes(params)));

  std::unique_ptr<RecordingPlug> editor(RecordingPlug::MakeEditorLike());
  ByteChunk tail;
  IPlugBase::InitChunkWithIPlugVer(&tail);
  editor->SerializeNonAutomatedParams(&tail, editor->NParams());
  Write("plug_state", "editor-tail", Prefixed(1, ChunkBytes(tail)));

  auto withPresets = Automatable(3, true);
  withPresets->MakePreset("Lead", 100, 0.25, 0);
  withPresets->MakePreset("Pad", 3, -1.0, 1);
  ByteChunk presets;
  withPresets->SerializePresets(&presets);
  Write("plug_state", "presets", Prefixed(2, ChunkBytes(presets)));

  // Program and bank files as the plug-in saves them, with and without state chunks.
  const fs::path tmp = fs::temp_directory_path() / "davrel-make-seeds.fx";
  for (int chunks = 0; chunks < 2; ++chunks)
    for (int bank = 0; bank < 2; ++bank)
    {
      auto src = Automatable(2, chunks);
      src->MakePreset("Lead", 100, 0.25, 0);
      src->MakePreset("Pad", 20, -0.5, 1);
      src->RestorePreset(1);
      FakeGraphics* g = new FakeGraphics(src.get());
      src->AttachGraphics(g);
      g->nextPath = tmp.string();
      if (!(bank ? src->SaveBankAsFXB() : src->SaveProgramAsFXP())) abort();
      const std::string name = std::string(chunks ? "chunk" : "values") + (bank ? ".fxb" : ".fxp");
      Write("fx_files", name, Prefixed((uint8_t)(bank | chunks << 1), Read(tmp)));
    }
  fs::remove(tmp);
}

// The state dictionary the stand-in's GetState makes, in the au_state target's encoding.
void Dictionaries()
{
  auto num = [](Bytes* v, uint8_t key, int32_t n) {
    v->push_back(key);
    v->push_back(0);
    const uint8_t* p = (const uint8_t*)&n;
    v->insert(v->end(), p, p + 4);
  };
  auto fourcc = [](const char* s) { return (int32_t)((uint32_t)s[0] << 24 | (uint32_t)s[1] << 16 | (uint32_t)s[2] << 8 | (uint32_t)s[3]); };
  Bytes v;
  num(&v, 0, 0x20008);
  num(&v, 1, fourcc("aumu"));
  num(&v, 2, fourcc("dvrx"));
  num(&v, 3, fourcc("QhS1"));
  v.push_back(4);
  v.push_back(4);
  v.push_back(5);
  v.insert(v.end(), {'E', 'm', 'p', 't', 'y'});
  std::unique_ptr<RecordingPlug> editor(RecordingPlug::MakeEditorLike());
  editor->GetParam(7)->Set(1.0);
  ByteChunk state;
  IPlugBase::InitChunkWithIPlugVer(&state);
  editor->SerializeNonAutomatedParams(&state, editor->NParams());
  v.push_back(5);
  v.push_back(5);
  v.push_back((uint8_t)(state.Size() >> 8));
  v.push_back((uint8_t)state.Size());
  const Bytes b = ChunkBytes(state);
  v.insert(v.end(), b.begin(), b.end());
  Write("au_state", "stand-in-state", v);
}

// ---- hardware ----

// The router target's record: flags, 16-bit length, the message.
void Record(Bytes* v, uint8_t flags, const Bytes& msg)
{
  v->push_back(flags);
  v->push_back((uint8_t)msg.size());
  v->push_back((uint8_t)(msg.size() >> 8));
  v->insert(v->end(), msg.begin(), msg.end());
}

// A body of SysexMessages as it goes on the wire.
Bytes Framed(const std::vector<uint8_t>& body)
{
  Bytes m{0xF0};
  m.insert(m.end(), body.begin(), body.end());
  m.push_back(0xF7);
  return m;
}

struct MapParams : DumpParamAccess
{
  std::map<int, double> v;
  double value(int id) override { return v.count(id) ? v[id] : 0.0; }
  void setValue(int id, double x) override { v[id] = x; }
};

Bytes Global(int channel, bool writeProtect)
{
  Bytes g((size_t)kGlobalDumpSize, 0);
  g[0] = 0xF0, g[1] = kSysexManufacturerId, g[2] = (uint8_t)(0x30 + channel), g[3] = kSysexModelId;
  g[4] = kSysexGlobalDumpFunction, g.back() = 0xF7;
  MapParams p;
  p.v[kGlobalMidiChannel] = channel;
  p.v[kMIDIFilterWriteProtect] = writeProtect;
  p.v[kMasterTune] = -7;
  p.v[kMasterTranspose] = 3;
  p.v[kGlobalLocalControl] = 1;
  p.v[kMIDIFilterSysEx] = 1;
  buildGlobalDumpParams(p, g.data());
  return g;
}

void Hardware()
{
  Bytes v{0x00, 0x10};
  Record(&v, 0x04, Program(1));  // the answer to a program request
  Record(&v, 0x08, Global(0, true));  // the answer to a global request
  Write("hw_router", "program-and-global", v);

  v = {0x00, 0x00};
  Record(&v, 0x10, Program(2));  // a librarian slot request
  Record(&v, 0x20, AllDump(false));  // an all-programs transfer
  Record(&v, 0x20, Program(3));
  Write("hw_router", "librarian", v);

  v = {0x00, 0x03};
  Record(&v, 0x04, Program(4));  // a program request on the own channel
  Bytes other = Program(5);
  other[2] = 0x35;
  Record(&v, 0x44, other);  // a channel search finds the unit on channel 6
  Record(&v, 0x80, Global(5, false));  // the device initialisation
  Write("hw_router", "channel-search", v);

  v = {0x71, 0x50};
  Record(&v, 0x00, Framed(makeEditModeBody(0x30, true)));
  Record(&v, 0x00, Framed(makeEditModeBody(0x30, false)));
  Record(&v, 0x00, Framed(makeParameterChangeBody(0x30, 0x10A, -5)));
  Record(&v, 0x00, Framed(makeParameterChangeBody(0x30, 22, 64)));
  Record(&v, 0x00, Framed(makeParameterChangeBody(0x30, 0x200, 100)));
  Record(&v, 0x00, {0xB0, 0x63, 0x04});  // an NRPN address, then its value
  Record(&v, 0x00, {0xB0, 0x62, 0x07});
  Record(&v, 0x00, {0xB0, 0x06, 0x40});
  Record(&v, 0x00, {0xB0, 0x0D, 0x30});
  Record(&v, 0x00, {0xB0, 0x56, 0x7F});
  Record(&v, 0x00, {0x90, 0x3C, 0x64});
  Record(&v, 0x00, {0xC0, 0x09});  // a program change answered by the librarian
  Record(&v, 0x01, {0xB1, 0x20, 0x40});  // from the host
  Record(&v, 0x01, {0xC1, 0x03});
  Record(&v, 0x01, Framed(makeParameterChangeBody(0x30, 22, 64)));
  Write("hw_router", "short-messages", v);

  // Lock switches, then the raw bytes of a built program and a built global dump.
  for (int locked = 0; locked < 2; ++locked)
  {
    Bytes r(6, locked ? 0x5A : 0);
    const Bytes prog = Program(6 + locked);
    r.insert(r.end(), prog.begin() + 19, prog.begin() + 296);
    const Bytes g = Global(locked ? 15 : 2, locked);
    r.insert(r.end(), g.begin() + 5, g.begin() + 234);
    Write("dump_roundtrip", locked ? "locked" : "plain", r);
  }
}

// ---- profile files ----

void Profiles()
{
  const fs::path tmp = fs::temp_directory_path() / "davrel-make-seeds.ini";
  const std::string file = tmp.string();
  fs::remove(tmp);
  WritePrivateProfileString("Davrel", "uiScale", "1.25", file.c_str());
  WritePrivateProfileString("Davrel", "skin", "2", file.c_str());
  WritePrivateProfileString("Ports", "in", "Seed Port In", file.c_str());
  WritePrivateProfileString("Ports", "out", "\"Seed Port Out\"", file.c_str());
  const char section[] = "first=1\0second=-17\0third= spaced \0";
  WritePrivateProfileSection("Numbers", section, file.c_str());
  const uint8_t bytes[] = {0x00, 0x7F, 0x80, 0xFF};
  WritePrivateProfileStruct("Binary", "bytes", bytes, sizeof(bytes), file.c_str());
  const Bytes text = Read(tmp);
  fs::remove(tmp);

  Bytes v{17, (uint8_t)text.size(), (uint8_t)(text.size() >> 8)};
  v.insert(v.end(), text.begin(), text.end());
  for (const char* t : {"Ports", "in", "Another Port"})
  {
    v.insert(v.end(), t, t + strlen(t));
    v.push_back(0);
  }
  v.pop_back();
  Write("profile", "settings", v);
}

void Configs(const fs::path& resources)
{
  Write("config", "uiconfig", Prefixed(0, Read(resources / "uiconfig.xml")));
  Write("config", "sysex", Prefixed(1, Read(resources / "sysex.xml")));
}

}  // namespace

int main(int argc, char** argv)
{
  if (argc < 2)
  {
    fprintf(stderr, "usage: make_seeds CORPUS-FOLDER\n");
    return 2;
  }
  gOut = argv[1];
  Images();
  Banks();
  Streams();
  States();
  Dictionaries();
  Configs(gOut.parent_path().parent_path() / "resources");
  Hardware();
  Profiles();
  int n = 0;
  for (const Bytes& chunk : EditorStateSeeds()) Write("editor_state", n++ ? "edited" : "fresh", chunk);
  printf("seeds written to %s\n", argv[1]);
  return 0;
}
