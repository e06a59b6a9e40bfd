// The librarian page against the simulated synthesizer over JACK: a slot sent and
// stored, a whole bank stored with progress and a cancel, programs requested into
// the selected slot and into the upper bank, and the banks on disk compared byte
// for byte with what the synthesizer holds.

#include "PollUntil.h"
#include "PortMenuChoice.h"
#include "DumpTestSupport.h"
#include "JackTestServer.h"
#include "SynthModel.h"
#include "SynthSim.h"
#include "TestFiles.h"
#include "config/ParamIds.h"
#include "editor/Davrel.h"
#include "hardware/DumpLayout.h"
#include "hardware/MIDIMessageManager.h"
#include "hardware/MIDIMessageSender.h"
#include "hardware/SysexPacking.h"
#include "librarian/PatchLibrarian.h"
#include "librarian/view/LibrarianViewControl.h"
#include "gui/IControl.h"
#include "gui/IGraphics.h"
#include "platform/appkit/AppKit.h"
#include "platform/appkit/ModalScript.h"
#include "platform/appkit/Presenter.h"
#include "winsys/kernel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <memory>
#include <thread>

namespace {

using Bytes = std::vector<unsigned char>;
const int kWaitMs = 60000;

void writeBank(const std::string& path, const std::vector<Bytes>& programs)
{
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary);
  for (const Bytes& p : programs) out.write((const char*)p.data(), (std::streamsize)p.size());
}

// The programs of a raw bank file, read independently of the librarian.
std::vector<Bytes> readBank(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  const Bytes all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<Bytes> out;
  for (size_t at = 0; at + 297 <= all.size(); at += 297) out.emplace_back(all.begin() + (long)at, all.begin() + (long)at + 297);
  return out;
}

std::vector<Bytes> programs(int seedBase)
{
  std::vector<Bytes> out;
  for (int p = 0; p < 128; ++p) out.push_back(SynthModel::MakeProgram(seedBase + p));
  return out;
}

IPlugInstanceInfo info() { return DavrelInstanceInfo(); }

class LibrarianOverJack : public testing::Test
{
protected:
  void SetUp() override
  {
    setenv("DAVREL_DATA_DIR", mData.path().c_str(), 1);
    writeBank(mData.file("Patches/Studio.dvl"), programs(100));
    writeBank(mData.file("Patches/Stage.dvl"), programs(400));
    writeBank(mData.file("Patches/Empty.dvl"), programs(700));
    SWELL_SetTimeScale(0.05);
    std::string error;
    ASSERT_TRUE(mServer.Start(&error)) << error;
    ASSERT_TRUE(mSim.Open(&error)) << error;
    mResponder.reset(new SimResponder(mSim, mModel));
    mEditor.reset(new Davrel(info()));
    mEditor->ReadMidiPortListsAhead();  // as the factory does, once the editor is whole
    SelectPorts();
    Settle();
    e().GetParam(kLibSyncTimer)->Set(7);  // the 100 ms unit
    e().GetParam(kOverrideTempo)->Set(0.0);
  }
  void TearDown() override
  {
    mEditor.reset();
    mSim.Close();
    mResponder.reset();
    mServer.Stop();
    SWELL_SetTimeScale(1.0);
    unsetenv("DAVREL_DATA_DIR");
  }

  Davrel& e() { return *mEditor; }
  PatchLibrarian& lib() { return *mEditor->patchLibrarian; }
  int bankIndex(const std::string& name)
  {
    for (size_t i = 0; i < lib().patchFiles.size(); ++i)
      if (lib().patchFiles[i]->fileName == name) return (int)i;
    return -1;
  }
  std::vector<Bytes> simPrograms()
  {
    std::lock_guard<std::mutex> l(mModel.lock);
    return mModel.programs;
  }
  int simWrites()
  {
    std::lock_guard<std::mutex> l(mModel.lock);
    return mModel.writes;
  }

  void SelectPorts()
  {
    const struct
    {
      int param;
      std::string name;
    } ports[] = {{kDeviceOutSelection, mSim.InputPortName()}, {kDeviceInSelection, mSim.OutputPortName()}};
    for (const auto& p : ports) ASSERT_NO_FATAL_FAILURE(ChoosePortEntry(&e(), p.param, p.name, kWaitMs));
    ASSERT_TRUE(mSim.WaitForConnections(1, 1, kWaitMs));
  }
  void Settle()
  {
    ASSERT_TRUE(e().midiMessageManager->waitIdle(kTransferThread, (int)(kWaitMs / SWELL_GetTimeScale())));
  }
  void ShowUpper(const std::string& name)
  {
    lib().upperFileIndex = bankIndex(name);
    e().rememberBankChoice(0, lib().upperFileIndex);
  }

  TempFolder mData{"davrel-librarian-jack"};
  JackTestServer mServer;
  SynthSim mSim{"Rudu"};
  SynthModel mModel;
  std::unique_ptr<SimResponder> mResponder;
  std::unique_ptr<Davrel> mEditor;
};

TEST_F(LibrarianOverJack, SlotStoreThenBankStoreWithCancelLeaveTheDiskBanksInTheSynthesizerWhateverTimbreLoadIsLit)
{
  const std::vector<Bytes> studio = readBank(mData.file("Patches/Studio.dvl"));
  const std::vector<Bytes> stage = readBank(mData.file("Patches/Stage.dvl"));
  ASSERT_EQ(studio.size(), 128u);

  // READ T1 and TO T2 lit, and left lit: a store still writes each slot's own bytes.
  for (int p : {kReadFromTimbre1, kLoadToTimbre2})
  {
    e().GetParam(p)->Set(1);
    e().OnParamChange(p);
  }
  ASSERT_TRUE(e().loadToTimbre2);

  // One slot, stored: the hardware program of that number holds it.
  ShowUpper("Stage.dvl");
  e().librarianView->upperSelected = 5;
  lib().selectedSlot = 5;
  const int first = simWrites();
  e().SendSingleProgramFromLibrarian(true);
  Settle();
  // The write request left before the job's last wait; it may still be on the way.
  ASSERT_TRUE(pollUntil([&] { return simWrites() == first + 1; }, kWaitMs));
  EXPECT_EQ(simPrograms()[5], stage[5]);
  EXPECT_FALSE(e().storeLibrarianSend);

  // The whole upper bank.
  ShowUpper("Studio.dvl");
  const int second = simWrites();
  e().SendAllProgramsFromLibrarian();
  Settle();
  EXPECT_EQ(e().nameLine(), "Data write completed!");
  ASSERT_TRUE(pollUntil([&] { return simWrites() == second + 128; }, kWaitMs));
  std::vector<Bytes> held = simPrograms();
  for (int p = 0; p < 128; ++p)
    ASSERT_EQ(held[(size_t)p], studio[(size_t)p]) << "slot " << p << ", events the synthesizer dropped "
                                                  << mSim.Overflows();

  // Another bank, cancelled on the way: the status says which slots were written,
  // and exactly those hold the new bank.
  ShowUpper("Stage.dvl");
  const int before = simWrites();
  e().SendAllProgramsFromLibrarian();
  ASSERT_TRUE(pollUntil([&] { return simWrites() >= before + 3; }, kWaitMs));
  e().GetParam(kCancelDataRequest)->Set(1);
  e().OnParamChange(kCancelDataRequest);
  Settle();
  EXPECT_EQ(e().nameLine(), "Data write cancelled!");
  const std::string line = e().valueLine();
  const int written = atoi(line.c_str());
  ASSERT_GE(written, 3) << line;
  ASSERT_LT(written, 128) << line;
  EXPECT_EQ(line, std::to_string(written) + " programs written: slots 1-" + std::to_string(written));
  ASSERT_TRUE(pollUntil([&] { return simWrites() == before + written; }, kWaitMs));
  held = simPrograms();
  for (int p = 0; p < 128; ++p)
    ASSERT_EQ(held[(size_t)p], p < written ? stage[(size_t)p] : studio[(size_t)p]) << "slot " << p;
}

TEST_F(LibrarianOverJack, RequestsFillTheSelectedSlotAndTheUpperBankWhichIsSavedByteForByte)
{
  SWELL_SetTimeScale(0.2);  // each answer has 35 wait units to arrive
  {
    std::lock_guard<std::mutex> l(mModel.lock);
    mModel.programs = programs(900);
  }
  ShowUpper("Empty.dvl");
  const int upper = lib().upperFileIndex;

  // The hardware's current program into the selected slot.
  lib().selectedSlot = 9;
  ASSERT_TRUE(e().midiMessageManager->sendSinglePatchRequestSysexFromLibrarian(true, 0));
  Settle();
  EXPECT_EQ(e().nameLine(), "Data request completed!");
  Bytes edit;
  {
    std::lock_guard<std::mutex> l(mModel.lock);
    edit = mModel.editBuffer;
  }
  EXPECT_EQ(lib().bankAt(upper)->patches[9].messages.front().bytes, edit);

  // Every program into the upper bank, as the bank edit menu asks for them.
  ASSERT_TRUE(e().startSenderJob(e().allPatchesRequest()));
  Settle();
  EXPECT_EQ(e().nameLine(), "Data request completed!");
  const std::vector<Bytes> held = simPrograms();
  for (int p = 0; p < 128; ++p)
    ASSERT_EQ(lib().bankAt(upper)->patches[(size_t)p].messages.front().bytes, held[(size_t)p]) << "slot " << p;
  EXPECT_EQ(e().GetParam(kBankEditUnsaved)->Value(), 1.0);

  // Saved over its file: the disk now holds what the synthesizer holds.
  const std::string path = mData.file("Patches/Empty.dvl");
  ASSERT_TRUE(lib().saveEditedPatch(path, "Empty.dvl"));
  e().librarianBankSaved(false);
  EXPECT_EQ(e().GetParam(kBankEditUnsaved)->Value(), 0.0);
  EXPECT_EQ(readBank(path), held);
}

// A menu held open from a mouse press runs without the plug-in's mutex: a whole
// bank requested while it is open is answered, taken in and finished before it
// closes, every program in its own slot.
TEST_F(LibrarianOverJack, AMenuHeldOpenWhileABankArrivesHoldsNothingUp)
{
  SWELL_SetTimeScale(0.2);
  {
    std::lock_guard<std::mutex> l(mModel.lock);
    mModel.programs = programs(1300);
  }
  ShowUpper("Empty.dvl");
  const int upper = lib().upperFileIndex;

  if (!NSApplication::exists()) NSApplication::setPresenter(AKMakeHeadlessPresenter());
  NSApplication::sharedApplication();
  NSModalScript script;
  script.onUnscripted = [](const std::string& what) { ADD_FAILURE() << what << " with no scripted answer"; };
  const NSRect frame = NSMakeRect(0, 0, e().graphics->Width(), e().graphics->Height());
  NSView* content = new NSView(frame);
  NSWindow* window = new NSWindow(frame, NSTitledWindowMask, NSBackingStoreBuffered, false);
  window->setContentView(content);
  content->release();
  e().graphics->OpenWindow(content);

  bool heldByMenu = true, started = false, finishedWhileOpen = false;
  int menusOpen = 0;
  script.answerMenu([&](NSMenu*) -> NSMenuItem* {
    ++menusOpen;
    heldByMenu = e().mMutex.IsHeldByCaller();
    // The request goes out while the menu is open (the progress overlay, shown
    // from then on, would take the click).
    started = e().startSenderJob(e().allPatchesRequest());
    // The window keeps drawing while the menu tracks, as it does for a person.
    finishedWhileOpen = started && pollUntil(
        [&] {
          NSRunLoop::currentRunLoop()->runFor(0.02, NSEventTrackingRunLoopMode);
          return !e().midiMessageManager->isRunning(kTransferThread);
        },
        kWaitMs);
    return nullptr;
  });

  ASSERT_NE(e().deviceOutMenu, nullptr);
  const IRECT r = e().deviceOutMenu->GetRECT();
  IMouseMod mod;
  mod.L = true;
  e().graphics->OnMouseDown(r.MW(), r.MH(), &mod);
  e().graphics->OnMouseUp(r.MW(), r.MH(), &mod);
  EXPECT_EQ(menusOpen, 1);
  EXPECT_FALSE(heldByMenu);
  ASSERT_TRUE(started);
  EXPECT_FALSE(e().mMutex.IsHeldByCaller());
  ASSERT_TRUE(finishedWhileOpen);
  Settle();
  EXPECT_EQ(e().nameLine(), "Data request completed!");
  const std::vector<Bytes> held = simPrograms();
  for (int p = 0; p < 128; ++p)
    ASSERT_EQ(lib().bankAt(upper)->patches[(size_t)p].messages.front().bytes, held[(size_t)p]) << "slot " << p;

  e().graphics->CloseWindow();
  window->close();
  AKRelease(window);
  NSRunLoop::currentRunLoop()->runOnce();
}

}  // namespace

// The editor and a synthesizer whose current programs carry every raw byte value the
// layout allows (the bytes no parameter owns and the dummy bytes over 0..127): each is
// requested into the editor, sent back, and the synthesizer holds it byte for byte.
TEST_F(LibrarianOverJack, ProgramsWithEveryRawByteValueComeBackByteIdentical)
{
  std::mt19937 rng(3305);
  int dummyValue = 0;
  for (int n = 0; n < 6; ++n)
  {
    PlainParams x;
    for (int id = 0; id < kNumParams; ++id)
    {
      const IParam* p = e().GetParam(id);
      const long steps = std::lround(p->GetMax() - p->GetMin());
      x.v[(size_t)id] = p->GetMin() + (double)(steps > 0 ? (long)(rng() % (unsigned)(steps + 1)) : 0);
    }
    // The dummy bytes run through 0..127 over the programs.
    for (int id = kDummyParam01; id < kDummyParam01 + 40; ++id) x.v[(size_t)id] = (dummyValue++) % 128;
    Bytes d = layoutOwnProgram(x);
    for (int r : {19, 20, 25}) d[(size_t)r] = (uint8_t)((dummyValue + r * n) & 0x7F);
    writeProgramDumpName("RAW BYTES " + std::to_string(n), d.data());
    {
      std::lock_guard<std::mutex> l(mModel.lock);
      mModel.editBuffer = d;
    }

    e().GetParam(kRequestTempData)->Set(1);
    e().OnParamChange(kRequestTempData);
    Settle();
    ASSERT_NE(e().nameLine(), "CONNECTION TIMED OUT!") << n;
    {
      std::lock_guard<std::mutex> l(mModel.lock);
      mModel.editBuffer.assign(kProgramDumpSize, 0);
    }
    ASSERT_TRUE(e().midiMessageManager->startJob(SenderJob(kSendArrangementToDevice)));
    Settle();
    ASSERT_TRUE(pollUntil(
        [&] {
          std::lock_guard<std::mutex> l(mModel.lock);
          return mModel.editBuffer == d;
        },
        kWaitMs))
        << "program " << n;
  }
}
