// The librarian page's controller: its commands, the transfers it starts, file
// import through the editor's own file panel and alerts, and the help actions.

#include "EditorTestSupport.h"
#include "LibrarianTestSupport.h"
#include "WriteFaults.h"
#include "config/ParamIds.h"
#include "gui/IControl.h"
#include "gui/ICustomControls.h"
#include "gui/IGraphicsCocoa.h"
#include "gui/IGraphics.h"
#include "hardware/DumpLayout.h"
#include "hardware/SysexMessages.h"
#include "hardware/SysexPacking.h"
#include "librarian/BankFormats.h"
#include "librarian/PatchLibrarian.h"
#include "librarian/view/BankChooserMenus.h"
#include "librarian/view/BankEditPopupMenu.h"
#include "librarian/view/LibrarianViewControl.h"
#include "plug/ByteChunk.h"
#include "ui/ControlLayer.h"
#include "platform/appkit/AppKit.h"
#include "platform/appkit/ModalScript.h"
#include "platform/appkit/Presenter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <map>

namespace {

// A program dump named name whose data differs by seed.
Bytes program(const std::string& name, int seed)
{
  Bytes p = mkInitPatchData();
  writeProgramDumpName(name, p.data());
  p[30] = (uint8_t)(seed & 0x7F);
  p[31] = (uint8_t)((seed >> 7) & 0x7F);
  return p;
}

void writeFile(const std::string& path, const Bytes& bytes)
{
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  writeFileBytes(path, bytes);
}

// Every file below folder with its bytes.
std::map<std::string, Bytes> listTree(const std::string& folder)
{
  std::map<std::string, Bytes> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
    if (entry.is_regular_file()) files[entry.path().string()] = readFileBytes(entry.path().string());
  return files;
}

// A raw bank: n programs named prefix + number, then empty slots are simply absent.
Bytes rawBank(const std::string& prefix, int n, int seedBase)
{
  Bytes out;
  for (int i = 0; i < n; ++i)
  {
    const Bytes p = program(prefix + std::to_string(i), seedBase + i);
    out.insert(out.end(), p.begin(), p.end());
  }
  return out;
}

// A program file event: F0, the length 82 28, the dump without its F0, one delta byte.
Bytes programEvent(const Bytes& dump)
{
  // Sized once and copied into: inserting after a three-byte list start draws a
  // false -Warray-bounds from GCC 12 at -O2.
  Bytes e(dump.size() + 3);
  e[0] = 0xF0;
  e[1] = 0x82;
  e[2] = 0x28;
  std::copy(dump.begin() + 1, dump.end(), e.begin() + 3);
  e.back() = 0x00;
  return e;
}

// The editor with the real router behind its gates, job starts recorded whole, and
// a window of its own so that file panels and alerts can be scripted.
class LibEditor : public RecordingEditor
{
public:
  void routeSysEx(ISysEx* s, bool fromDevice) override
  {
    if (refuses && refuses(s)) return;
    Davrel::routeSysEx(s, fromDevice);
  }
  std::function<bool(const ISysEx*)> refuses;  // messages the router turns away
  bool startJob(const SenderJob& job) override
  {
    started.push_back(job);
    if (workerIdle && job.atStart) job.atStart();
    return workerIdle;
  }
  std::vector<SenderJob> started;
  PatchLibrarian& lib() { return *patchLibrarian; }
  LibrarianViewControl* grid() { return librarianView; }
  std::string slotName(int bank, int slot)
  {
    PatchFile* b = lib().bankAt(bank);
    return b && (size_t)slot < b->patches.size() ? b->patches[(size_t)slot].name : "<none>";
  }
  Bytes slotBytes(int bank, int slot)
  {
    PatchFile* b = lib().bankAt(bank);
    if (!b || (size_t)slot >= b->patches.size() || b->patches[(size_t)slot].messages.empty()) return {};
    return b->patches[(size_t)slot].messages.front().bytes;
  }
  void setText(int id, const std::string& text)
  {
    GetParam(id)->SetDisplayText(0, text.c_str());
    OnParamChange(id);
  }
  // The rename box opened on an upper slot and closed with text.
  void rename(int slot, const std::string& text)
  {
    grid()->upperSelected = slot;
    renameClosed = false;
    setText(kPatchRename, text);
  }
  int searchHits()
  {
    int n = 0;
    for (PatchFile* b : lib().searchResultFiles) n += (int)b->patches.size();
    return n;
  }
  // The lower column as shown, and the names of the bank a drag or a send from it reads.
  std::vector<std::string> lowerShown()
  {
    std::vector<std::string> names;
    for (int i = 0; i < 128; ++i) names.push_back(grid()->slotText(1, i));
    return names;
  }
  std::vector<std::string> lowerHeld()
  {
    std::vector<std::string> names(128);
    if (PatchFile* b = librarianBank(1))
      for (size_t i = 0; i < names.size() && i < b->patches.size(); ++i) names[i] = b->patches[i].name;
    return names;
  }
  int bankIndex(const std::string& name)
  {
    for (size_t i = 0; i < lib().patchFiles.size(); ++i)
      if (lib().patchFiles[i]->fileName == name) return (int)i;
    return -1;
  }
};

// The editor view's superview, as a host's: counts the keys the view passes on.
class KeyRecordingView : public NSView
{
public:
  explicit KeyRecordingView(NSRect frame) : NSView(frame) {}
  void keyDown(NSEvent*) override { ++keysPassedOn; }
  int keysPassedOn = 0;
};

class Librarian : public ::testing::Test
{
protected:
  KeyRecordingView* content = nullptr;  // the window's
  DataFolder data;
  std::unique_ptr<UnderTest<LibEditor>> e;
  std::unique_ptr<NSModalScript> script;
  NSWindow* window = nullptr;
  IGraphicsCocoa_vDavrel_64_au* view = nullptr;

  void SetUp() override
  {
    writeFile(data.file("Patches/Alpha.dvl"), rawBank("Alpha ", 128, 0));
    writeFile(data.file("Patches/Beta.dvl"), rawBank("Beta ", 128, 1000));
    writeFile(data.file("Patches/Live/Gamma.dvl"), rawBank("Warm Pad ", 128, 2000));
    e.reset(new UnderTest<LibEditor>);
    e->GetParam(kGlobalMidiChannel)->Set(2);
    e->sysexChannelByte = 0x32;
    e->GetParam(kLibSyncTimer)->Set(0);  // 200 ms unit
    e->midiOutSet = true;
    e->takeSent();
    e->lib().upperFileIndex = e->bankIndex("Alpha.dvl");
    e->lib().lowerFileIndex = e->bankIndex("Beta.dvl");
  }

  void TearDown() override
  {
    if (window)
    {
      e->graphics->CloseWindow();
      window->close();
      AKRelease(window);
      NSRunLoop::currentRunLoop()->runOnce();
    }
    e.reset();
    script.reset();
  }

  void openWindow()
  {
    if (!NSApplication::exists()) NSApplication::setPresenter(AKMakeHeadlessPresenter());
    NSApplication::sharedApplication();
    script = std::make_unique<NSModalScript>();
    script->onUnscripted = [](const std::string& what) { ADD_FAILURE() << what << " with no scripted answer"; };
    const NSRect r = NSMakeRect(0, 0, 1500, 667);
    NSView* content = this->content = new KeyRecordingView(r);
    window = new NSWindow(r, NSTitledWindowMask, NSBackingStoreBuffered, false);
    window->setContentView(content);
    content->release();
    view = static_cast<IGraphicsCocoa_vDavrel_64_au*>(e->graphics->OpenWindow(content));
  }
};

// ---- transfers ----

TEST_F(Librarian, SlotSendSendsTheProgramChangeAndHandsTheJobACopyAndThePause)
{
  const int alpha = e->lib().upperFileIndex;
  e->sendPatchToDeviceFromLibrarian(5, 0);
  ASSERT_EQ(e->started.size(), 1u);
  const SenderJob& job = e->started[0];
  EXPECT_EQ(job.command, kSendPatchToDeviceFromLibrarian);
  EXPECT_EQ(job.slotNumber, 5);
  EXPECT_EQ(job.leadInMs, 200 / 2 + 50);
  EXPECT_EQ(job.patch, nullptr);
  EXPECT_EQ(job.program, e->slotBytes(alpha, 5));
  EXPECT_EQ(e->takeSent(), (std::vector<Bytes>{{0xC2, 5}}));
  EXPECT_EQ(e->grid()->currentSlot, 5);
  // The job's bytes are its own: a rescan frees the bank they came from.
  const Bytes before = job.program;
  e->OnParamChange(kRefreshFolders);
  EXPECT_EQ(e->started[0].program, before);
}

TEST_F(Librarian, SlotSendRefusals)
{
  const int alpha = e->lib().upperFileIndex;
  // A bank of 100 slots is padded to 128 even when the slot asked for is empty.
  e->lib().bankAt(alpha)->patches.resize(100);
  e->sendPatchToDeviceFromLibrarian(110, 0);
  EXPECT_EQ(e->lib().bankAt(alpha)->patches.size(), 128u);
  EXPECT_TRUE(e->started.empty());
  EXPECT_TRUE(e->takeSent().empty());

  struct Case
  {
    const char* what;
    int slot, column;
    bool partLock, port;
    int currentSlotAfter;
  } cases[] = {
      {"part lock", 3, 0, true, true, 77},
      {"slot out of range", 128, 0, false, true, 77},
      {"negative slot", -1, 1, false, true, 77},
      {"no port: only the grid follows", 4, 1, false, false, 4},
  };
  for (const Case& c : cases)
  {
    e->grid()->currentSlot = 77;
    e->GetParam(kPartLock)->Set(c.partLock ? 1.0 : 0.0);
    e->midiOutSet = c.port;
    e->storeLibrarianSend = true;
    e->sendPatchToDeviceFromLibrarian(c.slot, c.column);
    EXPECT_TRUE(e->started.empty()) << c.what;
    EXPECT_TRUE(e->takeSent().empty()) << c.what;
    EXPECT_EQ(e->grid()->currentSlot, c.currentSlotAfter) << c.what;
    // A store that did not start leaves no store behind for the next send.
    EXPECT_FALSE(e->storeLibrarianSend) << c.what;
  }
}

// A store sends the selected program of the column holding the selection. A store
// whose job the busy worker drops still ends edit mode and leaves no store behind.
TEST_F(Librarian, StoreSendsTheSelectedProgramOfItsColumn)
{
  struct Case
  {
    const char* what;
    int upperSelected, selectedSlot, lowerSelectedSlot;
    bool workerIdle, editOn;
    int column, slot;
  } cases[] = {
      {"selection in the lower column", -1, -1, 9, true, false, 1, 9},
      // A cancelled request of all programs leaves the librarian's slot where it
      // stopped (24); the grid shows slot 6 selected, and 6 is stored.
      {"after a cancelled request of all programs", 6, 24, -1, true, false, 0, 6},
      {"upper selection, job dropped while editing", 4, 4, -1, false, true, 0, 4},
  };
  const Bytes editOff = {0xF0, 0x42, 0x32, 0x58, 0x4E, 0x00, 0x00, 0xF7};
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.what);
    e->started.clear();
    e->grid()->upperSelected = c.upperSelected;
    e->lib().selectedSlot = c.selectedSlot;
    e->lib().lowerSelectedSlot = c.lowerSelectedSlot;
    e->grid()->lowerSelected = c.lowerSelectedSlot;
    e->workerIdle = c.workerIdle;
    e->patchEditOn = c.editOn;
    e->SendSingleProgramFromLibrarian(true);
    ASSERT_EQ(e->started.size(), 1u);
    const SenderJob& job = e->started[0];
    EXPECT_TRUE(job.storeAfterSend);
    EXPECT_EQ(job.editOffFirst, c.editOn);
    EXPECT_EQ(job.slotNumber, c.slot);
    EXPECT_EQ(job.program, e->slotBytes(c.column ? e->lib().lowerFileIndex : e->lib().upperFileIndex, c.slot));
    if (!c.workerIdle)
    {
      EXPECT_FALSE(e->storeLibrarianSend);
    }
    EXPECT_FALSE(e->patchEditOn);
    const auto sent = e->takeSent();
    ASSERT_EQ(sent.size(), c.editOn ? 2u : 1u);
    EXPECT_EQ(sent[0], (Bytes{0xC2, (unsigned char)c.slot}));
    if (c.editOn)
    {
      EXPECT_EQ(sent[1], editOff);
    }
  }
  // An ordinary send after the dropped store is no store.
  e->workerIdle = true;
  e->sendPatchToDeviceFromLibrarian(1, 0);
  EXPECT_FALSE(e->started.back().storeAfterSend);
}

// "Send to Rudu" sends the slot selected on the grid, not the librarian's own
// selection; the other buttons are run in the table below.
TEST_F(Librarian, SendToRuduSendsTheGridsSelectedSlot)
{
  e->grid()->upperSelected = 6;
  e->lib().selectedSlot = 24;
  // "Send to Rudu": the selected slot, no store.
  e->userSets(kStorePatchToLib, 1);
  ASSERT_EQ(e->started.size(), 1u);
  EXPECT_EQ(e->started[0].command, kSendPatchToDeviceFromLibrarian);
  EXPECT_EQ(e->started[0].slotNumber, 6);
  EXPECT_FALSE(e->started[0].storeAfterSend);
  EXPECT_EQ(e->started[0].program, e->slotBytes(e->lib().upperFileIndex, 6));
  EXPECT_EQ(e->takeSent(), (std::vector<Bytes>{{0xC2, 6}}));
}

// A send of the editor's program to the hardware ends a librarian request left
// armed as the send starts; dropped while another job runs, it leaves it armed.
TEST_F(Librarian, ASendToTheHardwareEndsTheLibrariansRequestAsItStarts)
{
  int renames = 0;
  const std::pair<const char*, std::function<void()>> sends[] = {
      {"Send", [&] { e->userSets(kPushArrangement, 1); }},
      {"program name", [&] { e->setText(kPatchName, "Name " + std::to_string(++renames)); }},
  };
  std::atomic<bool>& armed = e->midiMessageManager->libraryPatchRequest.libraryRequestActive;
  for (const auto& [name, send] : sends)
    for (bool idle : {true, false})
    {
      SCOPED_TRACE(std::string(name) + (idle ? "" : ", worker busy"));
      armed = true;
      e->workerIdle = idle;
      e->started.clear();
      send();
      ASSERT_EQ(e->started.size(), 1u);
      EXPECT_EQ(e->started[0].command, kSendArrangementToDevice);
      EXPECT_FALSE(e->started[0].toLibrarian);
      EXPECT_EQ(armed.load(), !idle);
    }
}

// The page's buttons and the bank menu's requests start the commands their captions
// name, a button's release none ("Request Bank" asks for every program of the
// memory, "Sound to Slot" stores the editor's sound into the librarian). Those whose
// answers land in the upper bank's slots start only while a bank is open there: with
// none, the display says so and nothing is sent or armed.
TEST_F(Librarian, RequestsIntoTheLibrarianNeedAnUpperBank)
{
  auto toLibrarian = [](int command, bool target) {
    SenderJob job((ESenderCommand)command);
    job.requestTarget = target;
    return job;
  };
  const struct
  {
    const char* name;
    std::function<void()> run;
    int command;
  } entries[] = {
      {"Request Bank", [&] { e->userSets(kRequestFromBank, 1), e->userSets(kRequestFromBank, 0); }, kSendAllPatchRequest},
      {"Sound to Slot", [&] { e->userSets(kOverwriteBank, 1), e->userSets(kOverwriteBank, 0); }, kSendArrangementToDevice},
      {"menu: All Patches from Memory", [&] { e->startSenderJob(e->allPatchesRequest()); }, kSendAllPatchRequest},
      {"menu: from Active Slot to Librarian", [&] { e->startSenderJob(toLibrarian(kSendPartRequest, false)); },
       kSendPartRequest},
      {"menu: from Currently Selected Location", [&] { e->sendSinglePatchRequestSysexFromLibrarian(false, 0); }, -1},
  };
  const int alpha = e->lib().upperFileIndex;
  // 2: a bank open, but another job runs and the request is dropped; the collector
  // armed for a bank dump must not stay armed for the next program dump.
  for (int open : {0, 1, 2})
    for (const auto& entry : entries)
    {
      SCOPED_TRACE(std::string(entry.name) + (open == 2 ? ", worker busy" : open ? ", bank open" : ", no bank"));
      e->lib().upperFileIndex = open ? alpha : -1;
      e->workerIdle = open != 2;
      e->started.clear();
      e->takeSent();
      e->showNameLine("");
      entry.run();
      if (open)
      {
        if (entry.command >= 0)
        {
          ASSERT_EQ(e->started.size(), 1u);
          EXPECT_EQ(e->started[0].command, entry.command);
          if (entry.command == kSendArrangementToDevice) { EXPECT_TRUE(e->started[0].toLibrarian); }
        }
        EXPECT_NE(e->nameLine(), "Open a Bank First!");
        if (open == 2) { EXPECT_FALSE(e->midiMessageManager->libraryPatchRequestAll.libraryRequestAllActive.load()); }
      }
      else
      {
        EXPECT_TRUE(e->started.empty());
        EXPECT_TRUE(e->takeSent().empty());
        EXPECT_EQ(e->nameLine(), "Open a Bank First!");
        EXPECT_EQ(e->valueLine(), "");  // not the button's value
        EXPECT_FALSE(e->midiMessageManager->libraryPatchRequestAll.libraryRequestAllActive.load());
        EXPECT_FALSE(e->midiMessageManager->libraryPatchRequest.libraryRequestActive.load());
      }
    }
  // The GUI's own request needs no bank.
  e->workerIdle = true;
  e->lib().upperFileIndex = -1;
  e->started.clear();
  EXPECT_TRUE(e->startSenderJob(toLibrarian(kSendPartRequest, true)));
  EXPECT_EQ(e->started.size(), 1u);
}

// A whole-bank dump that answers the all-programs request: the librarian splits it
// and each program goes into its own slot of the upper bank, in order, none over another.
TEST_F(Librarian, ABankDumpAnsweringTheRequestFillsTheBankSlotBySlot)
{
  auto dumpedName = [](int p) {  // all 12 characters of a name
    char name[13];
    snprintf(name, sizeof name, "Dumped %03d  ", p);
    return std::string(name);
  };
  std::vector<uint8_t> data;
  for (int p = 0; p < 128; ++p)
  {
    const Bytes dump = program(dumpedName(p), 3000 + p);
    for (int d = 0; d < 254; ++d) data.push_back(readDumpDataByte(dump.data(), d));
  }
  Bytes bank = {0xF0, 0x42, 0x32, 0x58, 0x4C};
  std::vector<uint8_t> packed(data.size() + (data.size() + 6) / 7);
  packed.resize((size_t)sysexPack7(data.data(), (int)data.size(), packed.data()));
  bank.insert(bank.end(), packed.begin(), packed.end());
  bank.push_back(0xF7);
  ASSERT_EQ(bank.size(), (size_t)kAllProgramDumpSize);
  e->prepareAllPatchesRequest();
  ISysEx s(0, bank.data(), (int)bank.size());
  e->ProcessSysEx(&s, true);
  for (int p = 0; p < 128; ++p) EXPECT_EQ(e->slotName(e->lib().upperFileIndex, p), dumpedName(p));
}

TEST_F(Librarian, StoreAllCopiesTheChosenBankAndStartsFromSlotZero)
{
  e->lib().selectedSlot = 40;
  e->patchEditOn = true;
  e->SendAllProgramsFromLibrarian();
  EXPECT_EQ(e->lib().selectedSlot, 0);
  EXPECT_FALSE(e->patchEditOn);
  ASSERT_EQ(e->started.size(), 1u);
  const SenderJob& job = e->started[0];
  EXPECT_EQ(job.command, kStoreAllPatchesToDeviceFromLibrarian);
  EXPECT_EQ(job.storeBankSide, 0);
  ASSERT_EQ(job.programs.size(), 128u);
  for (int s = 0; s < 128; ++s) ASSERT_EQ(job.programs[(size_t)s], e->slotBytes(e->lib().upperFileIndex, s)) << s;

  // Without a port only edit mode ends.
  e->started.clear();
  e->midiOutSet = false;
  e->SendAllProgramsFromLibrarian();
  EXPECT_TRUE(e->started.empty());
}

TEST_F(Librarian, ProgramStepsWrapAndNeverWaitOnTheMainThread)
{
  e->GetParam(kControlLibrary)->Set(1.0);
  e->grid()->currentSlot = 0;
  e->userSets(kPatchDown, 1);
  EXPECT_EQ(e->grid()->currentSlot, 127);
  EXPECT_EQ(e->currentProgram, 127);
  ASSERT_EQ(e->started.size(), 1u);
  EXPECT_EQ(e->started[0].slotNumber, 127);

  // Program changes sent: the request carries the half wait unit, the send-back follows it.
  e->started.clear();
  e->takeSent();
  e->GetParam(kControlLibrary)->Set(0.0);
  e->GetParam(kMIDIFilterProgramChange)->Set(1.0);
  e->GetParam(kCurrentPatch)->Set(127);
  e->userSets(kPatchUp, 1);
  EXPECT_EQ(e->currentProgram, 0);
  const auto sent = e->takeSent();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent[0], (Bytes{0xC2, 0}));
  ASSERT_EQ(e->started.size(), 2u);
  EXPECT_EQ(e->started[0].command, kSendPartRequest);
  EXPECT_EQ(e->started[0].leadInMs, 100);
  EXPECT_EQ(e->started[1].command, kSendPartDataBack);

  // The part lock stops everything but the end of edit mode.
  e->started.clear();
  e->patchEditOn = true;
  e->GetParam(kPartLock)->Set(1.0);
  e->userSets(kPatchUp, 1);
  EXPECT_FALSE(e->patchEditOn);
  EXPECT_TRUE(e->started.empty());
  EXPECT_EQ(e->currentProgram, 0);
}

// ---- commands ----

TEST_F(Librarian, SearchRunsOnEveryTextOfTwoOrMoreCharacters)
{
  struct Step
  {
    const char* text;
    int results;  // -1: the results stay as they were
    const char* nameLine;
  } steps[] = {
      {"P", -1, "Enter 2 digits or more!"},
      {"Pad", 128, nullptr},
      {"Pad 12", 9, nullptr},  // Warm Pad 12 and 120..127: searched although searchActive is set
      {"warm", 0, "No results - Try another keyword!"},
      {"Alpha 7", 11, nullptr},
  };
  // From the field's opening on, the lower column shows the search's banks (none yet)
  // and its caption names the bank shown: what is dragged or sent from it is what it
  // shows, also after a search that found nothing.
  const auto caption = [&] { return e->rightSearchPopupMenu->caption(); };
  // On the librarian page one chooser lies over the lower column: the search's
  // while the field is open, the banks' once it is closed.
  const auto searchChooserShown = [&] {
    EXPECT_NE(e->rightSearchPopupMenu->IsHidden(), e->rightPatchPopupMenu->IsHidden());
    return !e->rightSearchPopupMenu->IsHidden();
  };
  e->userSets(kMainPage, 1);
  EXPECT_FALSE(searchChooserShown());
  e->userSets(kPatchSearch, 1);
  EXPECT_TRUE(searchChooserShown());
  EXPECT_TRUE(e->searchActive);
  EXPECT_EQ(e->lowerShown(), std::vector<std::string>(128));
  EXPECT_EQ(caption(), "FOUND: (no bank)");
  int last = 0;
  for (const Step& s : steps)
  {
    e->showNameLine("");
    e->setText(kPatchSearchString, s.text);
    const int n = e->searchHits();
    EXPECT_EQ(n, s.results < 0 ? last : s.results) << s.text;
    if (s.nameLine) { EXPECT_EQ(e->nameLine(), s.nameLine) << s.text; }
    EXPECT_EQ(e->lowerShown(), e->lowerHeld()) << s.text;
    EXPECT_EQ(caption(), n ? "FOUND: Search Results 1" : "FOUND: (no bank)") << s.text;
    last = n;
  }
  EXPECT_EQ(e->valueLine(), "Tip: Note that letter size matters..");
  // A rescan drops the search's banks with the others: the text is searched again.
  e->OnParamChange(kRefreshFolders);
  EXPECT_EQ(e->searchHits(), last);
  EXPECT_EQ(e->lowerShown(), e->lowerHeld());
  EXPECT_EQ(e->lowerShown()[0].rfind("Alpha 7", 0), 0u);
  // Through the field itself, which hands each entry over twice: a one-character
  // text keeps its refusal on the display, an empty one leaves the search, and the
  // field's own placeholder is never searched for.
  IControl* field = e->firstControlOf(kPatchSearchString);
  ASSERT_NE(field, nullptr);
  const auto enter = [&](std::string text) {
    e->graphics->SetFromStringAfterPrompt(field, e->GetParam(kPatchSearchString), &text[0]);
  };
  enter("A");
  EXPECT_EQ(e->nameLine(), "Enter 2 digits or more!");
  EXPECT_EQ(e->searchHits(), last);
  enter("");
  EXPECT_FALSE(e->searchActive);
  e->userSets(kPatchSearch, 1);
  // An empty text leaves the search: the lower column shows its bank again.
  e->setText(kPatchSearchString, "");
  EXPECT_FALSE(e->searchActive);
  EXPECT_EQ(e->lowerShown(), e->lowerHeld());
  EXPECT_EQ(e->lowerShown()[0], e->slotName(e->lib().lowerFileIndex, 0));
  e->userSets(kPatchSearch, 1);
  e->setText(kPatchSearchString, "Beta 1");
  EXPECT_TRUE(searchChooserShown());
  e->userSets(kPatchSearch, 0);
  EXPECT_FALSE(e->searchActive);
  EXPECT_FALSE(searchChooserShown());
  EXPECT_EQ(e->lowerShown(), e->lowerHeld());
  EXPECT_EQ(std::string(e->GetParam(kPatchSearchString)->GetDisplayText(0)), "search...");
}

// The hardware's system-exclusive filter holds back what the synthesizer sends, not
// what the librarian stores: a rename and the grid's paste store with it on.
TEST_F(Librarian, RenameWritesSevenBitNameBytesAroundTheTopBitByte)
{
  const int alpha = e->lib().upperFileIndex, beta = e->lib().lowerFileIndex;
  struct Case
  {
    std::string text, slotName;
    Bytes nameBytes;  // raw 6..12 and 14..18
    bool filtered;
  } cases[] = {
      {"ABC", "ABC", {'A', 'B', 'C', 0, 0, 0, 0, 0, 0, 0, 0, 0}, false},
      {"Twelve Chars+more", "Twelve Chars", {'T', 'w', 'e', 'l', 'v', 'e', ' ', 'C', 'h', 'a', 'r', 's'}, false},
      {"Caf\xC3\xA9", "CafC)", {'C', 'a', 'f', 0x43, 0x29, 0, 0, 0, 0, 0, 0, 0}, false},
      {"Filtered", "Filtered", {'F', 'i', 'l', 't', 'e', 'r', 'e', 'd', 0, 0, 0, 0}, true},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.text);
    e->hardwareFilterBlock[kFilterSysEx] = c.filtered;
    e->partChangeActive = c.filtered;
    const Bytes before = e->slotBytes(alpha, 6);
    e->rename(6, c.text);
    const Bytes after = e->slotBytes(alpha, 6);
    ASSERT_EQ(after.size(), 297u);
    EXPECT_EQ(e->slotName(alpha, 6), c.slotName);
    Bytes name(after.begin() + 6, after.begin() + 13);
    name.insert(name.end(), after.begin() + 14, after.begin() + 19);
    EXPECT_EQ(name, c.nameBytes);
    EXPECT_EQ(after[13], before[13]);
    for (size_t i = 19; i < 297; ++i) ASSERT_EQ(after[i], before[i]) << "byte " << i;
    EXPECT_TRUE(e->renameClosed);
    EXPECT_EQ(e->GetParam(kBankEditUnsaved)->Value(), 1.0);
  }
  // With the box closed nothing is renamed.
  e->setText(kPatchRename, "Other");
  EXPECT_EQ(e->slotName(alpha, 6), "Filtered");

  const IRECT from = e->grid()->slotRect(1, 7), to = e->grid()->slotRect(0, 20);
  e->grid()->CopySlotData(from.L + 2, from.T + 2);
  e->grid()->PasteSlotData(to.L + 2, to.T + 2);
  EXPECT_EQ(e->slotBytes(alpha, 20), e->slotBytes(beta, 7));
}

// A control's name and value leave the display once the user works where no control
// shows its own (the grid, the search); the overlay of a job a button started says
// it waits, not the button's name.
TEST_F(Librarian, AControlsLineGoesWhenTheUserWorksElsewhere)
{
  e->userSets(kMainPage, 1);
  IMouseMod left(true);
  const IRECT slot = e->grid()->slotRect(0, 3);
  auto* overlay = static_cast<ProgressIndicator*>(e->progressIndicator);
  for (const char* act : {"a click in the grid", "a search", "a job's overlay"})
  {
    SCOPED_TRACE(act);
    e->displayParamChange(kRequestTempData, 1, false);
    ASSERT_EQ(e->nameLine(), "Request");
    if (act[2] == 'c') e->grid()->OnMouseDown(slot.L + 2, slot.T + 2, &left);
    if (act[2] == 's') e->userSets(kPatchSearch, 1), e->setText(kPatchSearchString, "Beta 1");
    if (act[2] == 'j') e->DisplayProcessingIndicator(true);
    EXPECT_EQ((act[2] == 'j' ? overlay->text() : e->nameLine() + e->valueLine()).find("Request"), std::string::npos);
  }
  EXPECT_EQ(overlay->text(), "Data processing, please wait...");
  e->DisplayProcessingIndicator(false);
}

// A slot without a stored program takes the new name alone; the search, which reads
// names from a table of its own, finds it by that name at once.
TEST_F(Librarian, ARenamedSlotWithoutAProgramIsFoundByTheNextSearch)
{
  const int alpha = e->lib().upperFileIndex;
  e->lib().patchFiles[(size_t)alpha]->patches[9].messages.clear();
  e->lib().createNewSearchPatchFiles("Qzx Renamed");
  EXPECT_EQ(e->searchHits(), 0);
  e->rename(9, "Qzx Renamed");
  EXPECT_EQ(e->slotName(alpha, 9), "Qzx Renamed");
  e->lib().createNewSearchPatchFiles("Qzx Renamed");
  EXPECT_EQ(e->searchHits(), 1);
}

TEST_F(Librarian, BankSteppingWrapsAndRefusesWhileUnsaved)
{
  const int n = (int)e->lib().patchFiles.size();
  ASSERT_EQ(n, 3);
  e->GetParam(kPatchSelectionListUpper)->Set(n - 1);
  e->userSets(kLibUpperNextBank, 1);
  EXPECT_EQ(e->lib().upperFileIndex, 0);
  EXPECT_EQ(e->upperBankName, e->lib().patchFiles[0]->fileName);
  e->userSets(kLibUpperPreviousBank, 1);
  EXPECT_EQ(e->lib().upperFileIndex, n - 1);
  e->GetParam(kPatchSelectionListLower)->Set(0);
  e->userSets(kLibLowerPreviousBank, 1);
  EXPECT_EQ(e->lib().lowerFileIndex, n - 1);

  e->GetParam(kBankEditUnsaved)->Set(1.0);
  e->userSets(kLibUpperNextBank, 1);
  EXPECT_EQ(e->lib().upperFileIndex, n - 1);
  EXPECT_EQ(e->nameLine(), "Save bank or Discard changes!");
}

TEST_F(Librarian, TimbreCopyChoiceKeepsOneOfEachPair)
{
  e->userSets(kReadFromTimbre1, 1);
  e->userSets(kReadFromTimbre2, 1);
  EXPECT_FALSE(e->readFromTimbre1);
  EXPECT_TRUE(e->readFromTimbre2);
  EXPECT_EQ(e->GetParam(kReadFromTimbre1)->Value(), 0.0);
  e->userSets(kLoadToTimbre2, 1);
  e->userSets(kLoadToTimbre2, 0);
  EXPECT_FALSE(e->loadToTimbre1);
  EXPECT_FALSE(e->loadToTimbre2);
}

TEST_F(Librarian, DiscardReloadsTheEditedBankFromDiskAndKeepsItShown)
{
  const int gamma = e->bankIndex("Gamma.dvl");
  e->lib().upperFileIndex = gamma;
  e->rememberBankChoice(0, gamma);
  const Bytes original = e->slotBytes(gamma, 3);
  e->rename(3, "Edited");
  ASSERT_EQ(e->slotName(gamma, 3), "Edited");
  // A rescan (Refresh Folders, an import) lists new files but keeps the unsaved
  // edits, also of a bank whose file went meanwhile; only Discard drops them.
  writeFile(data.file("Patches/Delta.dvl"), rawBank("Delta ", 128, 3000));
  for (bool fileGone : {false, true})
  {
    SCOPED_TRACE(fileGone ? "file gone" : "file there");
    if (fileGone) std::filesystem::rename(data.file("Patches/Live/Gamma.dvl"), data.file("Gamma.away"));
    e->OnParamChange(kRefreshFolders);
    EXPECT_GE(e->bankIndex("Delta.dvl"), 0);
    const int kept = e->lib().upperFileIndex;
    ASSERT_EQ(e->lib().patchFiles[(size_t)kept]->fileName, "Gamma.dvl");
    EXPECT_EQ(e->slotName(kept, 3), "Edited");
    EXPECT_EQ(e->GetParam(kBankEditUnsaved)->Value(), 1.0);
    e->setText(kPatchSearchString, "Edited");
    EXPECT_EQ(e->searchHits(), 1);
  }
  std::filesystem::rename(data.file("Gamma.away"), data.file("Patches/Live/Gamma.dvl"));
  e->userSets(kDiscardBankData, 1);
  const int shown = e->lib().upperFileIndex;
  EXPECT_EQ(e->lib().patchFiles[(size_t)shown]->fileName, "Gamma.dvl");
  EXPECT_EQ(e->slotBytes(shown, 3), original);
  EXPECT_EQ(e->GetParam(kBankEditUnsaved)->Value(), 0.0);
}

// ---- import ----

TEST_F(Librarian, ProgramImportFillsConsecutiveSlotsAndTakesOnlyWholeDumps)
{
  const int alpha = e->lib().upperFileIndex;
  const Bytes p1 = program("One", 1), p2 = program("Two", 2), p3 = program("Three", 3);
  Bytes shortBody = programEvent(p3);
  shortBody.erase(shortBody.begin() + 100);  // 294 bytes before the F7
  const Bytes event2 = programEvent(p2);
  const Bytes cutOff(event2.begin(), event2.begin() + 200);
  Bytes longBody = programEvent(p3);
  longBody.insert(longBody.begin() + 100, 0x11);  // 296
  struct Case
  {
    const char* what;
    Bytes file;
    int firstSlot;
    std::vector<Bytes> stored;  // from firstSlot on
    int lost;
  } cases[] = {
      {"two events back to back", concat({programEvent(p1), programEvent(p2)}), 10, {p1, p2}, 0},
      {"82 then another byte is passed over", concat({Bytes{0xF0, 0x82, 0x29, 0x00}, programEvent(p1)}), 20, {p1}, 0},
      {"bodies of 294 and 296 bytes are no program", concat({shortBody, longBody, programEvent(p2)}), 30, {p2}, 0},
      {"a file ending inside an event", concat({programEvent(p1), cutOff}),
       40, {p1}, 0},
      {"past slot 127 the rest is not imported", concat({programEvent(p1), programEvent(p2), programEvent(p3)}), 126,
       {p1, p2}, 1},
      {"a plain system-exclusive file holds no event", p1, 50, {}, 0},
  };
  for (const Case& c : cases)
  {
    e->lib().selectedSlot = c.firstSlot;
    const Bytes nextBefore = e->slotBytes(alpha, c.firstSlot + (int)c.stored.size());
    ByteChunk chunk;
    chunk.PutBytes(c.file.data(), (int)c.file.size());
    e->importStored = e->importLost = 0;
    int position = 0;
    while (e->ReadSysExDataFromPackage(&chunk, position, "") > 0)
    {
    }
    for (size_t i = 0; i < c.stored.size(); ++i)
      EXPECT_EQ(e->slotBytes(alpha, c.firstSlot + (int)i), c.stored[i]) << c.what << " slot " << i;
    if (c.firstSlot + (int)c.stored.size() < 128) {
      EXPECT_EQ(e->slotBytes(alpha, c.firstSlot + (int)c.stored.size()), nextBefore) << c.what;
    }
    EXPECT_EQ(e->importStored, (int)c.stored.size()) << c.what;
    EXPECT_EQ(e->importLost, c.lost) << c.what;
  }
}

TEST_F(Librarian, AnImportWhoseLastProgramIsRefusedLeavesNoRequestArmed)
{
  const int alpha = e->lib().upperFileIndex;
  const Bytes p1 = program("Kept", 21), p2 = program("Refused", 22), later = program("Unasked", 23);
  e->refuses = [&](const ISysEx* s) { return s->mSize == (int)p2.size() && Bytes(s->mData, s->mData + s->mSize) == p2; };
  e->lib().selectedSlot = 5;
  const Bytes sixBefore = e->slotBytes(alpha, 6);
  ByteChunk chunk;
  const Bytes file = concat({programEvent(p1), programEvent(p2)});
  chunk.PutBytes(file.data(), (int)file.size());
  e->importStored = e->importLost = 0;
  int position = 0;
  while (e->ReadSysExDataFromPackage(&chunk, position, "") > 0)
  {
  }
  EXPECT_EQ(e->importLost, 1);
  ASSERT_EQ(e->lib().selectedSlot, 6);
  // A dump the synthesizer sends on its own afterwards is no answer for the librarian.
  e->refuses = nullptr;
  ISysEx dump(0, later.data(), (int)later.size());
  e->ProcessSysEx(&dump, true);
  EXPECT_EQ(e->slotBytes(alpha, 5), p1);
  EXPECT_EQ(e->slotBytes(alpha, 6), sixBefore);
}

TEST_F(Librarian, ProgramImportThroughThePanelPassesTheHardwareFilters)
{
  openWindow();
  const int alpha = e->lib().upperFileIndex;
  const Bytes p1 = program("Panel One", 11), p2 = program("Panel Two", 12);
  writeFile(data.file("in/two.prg"), concat({programEvent(p1), programEvent(p2)}));
  e->hardwareFilterBlock[kFilterSysEx] = true;  // what the hardware sends is filtered, a file is not
  e->lib().selectedSlot = 127;
  script->answerPanel(data.file("in/two.prg"));
  e->ImportSinglePatches();
  ASSERT_EQ(script->panelsShown.size(), 1u);
  EXPECT_EQ(script->panelsShown[0].types, (std::vector<std::string>{"mid", "syx", "prg"}));
  EXPECT_EQ(e->slotBytes(alpha, 127), p1);
  EXPECT_EQ(e->nameLine(), "1 imported, 1 not imported");
  EXPECT_EQ(e->lib().selectedSlot, 127);
  EXPECT_EQ(e->GetParam(kBankEditUnsaved)->Value(), 1.0);

  script->cancelPanel();
  e->ImportSinglePatches();
  EXPECT_EQ(script->pending(), 0u);
}

TEST_F(Librarian, BankImportAsksBeforeReplacingAndKeepsTheOldBankOnNo)
{
  openWindow();
  const std::string existing = data.file("Patches/Beta.dvl");
  const Bytes old = readFileBytes(existing);
  const Bytes fresh = rawBank("Fresh ", 128, 5000);
  writeFile(data.file("in/Beta.dvl"), fresh);
  writeFile(data.file("in/New.syx"), fresh);

  // Each outcome sets both lines of the display: Yes after No leaves no "kept".
  struct Step
  {
    const char* file;
    int alertButton;  // -1: no alert expected
    const char* dest;
    const Bytes* expect;
    const char *nameLine, *valueLine;
  } steps[] = {
      {"in/Beta.dvl", 1, "Patches/Beta.dvl", &old, "Import cancelled", "The bank in Patches was kept"},  // No
      {"in/Beta.dvl", 0, "Patches/Beta.dvl", &fresh, "Bank imported: Beta.dvl", ""},  // Yes: replaced whole
      {"in/New.syx", -1, "Patches/New.syx", &fresh, "Bank imported: New.syx", ""},  // copied without asking
  };
  for (const Step& s : steps)
  {
    const size_t alerts = script->alertsShown.size();
    script->answerPanel(data.file(s.file));
    if (s.alertButton >= 0) script->pressAlertButton(s.alertButton);
    e->saveImportedFile(false);
    EXPECT_EQ(script->alertsShown.size(), alerts + (s.alertButton >= 0 ? 1 : 0)) << s.file;
    EXPECT_EQ(readFileBytes(data.file(s.dest)), *s.expect) << s.file;
    EXPECT_EQ(script->panelsShown.back().types, (std::vector<std::string>{"syx", "dvl", "wvb"}));
    EXPECT_EQ(e->nameLine(), s.nameLine) << s.file;
    EXPECT_EQ(e->valueLine(), s.valueLine) << s.file;
  }
  for (const auto& entry : std::filesystem::directory_iterator(data.file("Patches")))
    EXPECT_NE(entry.path().extension(), ".tmp");
  const Bytes dump = program("Alone", 7);
  writeFile(data.file("in/One.syx"), dump);  // one program: too short for the scan
  writeFile(data.file("in/Text.syx"), Bytes(30000, 'x'));
  writeFile(data.file("in/Beta.syx"), Bytes(3000, 0xF0));  // no bank, under a listed bank's stem
  // A file the scan would not list leaves the banks' folder as it was, and asks
  // nothing; a file that cannot be read (here a folder) is said to have failed.
  const struct
  {
    const char *file, *nameLine, *valueLine;
  } refused[] = {{"in/One.syx", "Not a bank: One.syx", "Single programs: a slot's Paste or Request"},
                 {"in/Text.syx", "Not a bank: Text.syx", "No program found in it"},
                 {"in/Beta.syx", "Not a bank: Beta.syx", "No program found in it"},
                 {"in", "Import failed!", "The file could not be read"}};
  const auto folderBefore = listTree(data.file("Patches"));
  for (const auto& r : refused)
  {
    SCOPED_TRACE(r.file);
    const size_t alerts = script->alertsShown.size();
    script->answerPanel(data.file(r.file));
    e->saveImportedFile(false);
    EXPECT_EQ(e->nameLine(), r.nameLine);
    EXPECT_EQ(e->valueLine(), r.valueLine);
    EXPECT_EQ(listTree(data.file("Patches")), folderBefore);
    EXPECT_EQ(script->alertsShown.size(), alerts);
  }
  // The menu's rescan then lists the new bank.
  e->OnParamChange(kRefreshFolders);
  EXPECT_GE(e->bankIndex("New.syx"), 0);

  // More programs than a bank holds: the rescan splits the file and moves it out of
  // Patches, and the display names the banks made from it.
  writeFile(data.file("in/Big.syx"), rawBank("Big ", 200, 7000));
  script->answerPanel(data.file("in/Big.syx"));
  e->saveImportedFile(false);
  e->OnParamChange(kRefreshFolders);
  EXPECT_LT(e->bankIndex("Big.syx"), 0);
  ASSERT_GE(e->bankIndex("Big Singles 1.dvl"), 0);
  ASSERT_GE(e->bankIndex("Big Singles 2.dvl"), 0);
  EXPECT_EQ(e->nameLine(), "Banks imported: Big Singles 1.dvl");
  EXPECT_EQ(e->valueLine(), "and Big Singles 2.dvl");

  // A name too long for the line loses its middle, never the words before it.
  const std::string longName = "A Much Longer Bank Name For The Import Test Of Two Lines.syx";
  writeFile(data.file("in/" + longName), fresh);
  script->answerPanel(data.file("in/" + longName));
  e->saveImportedFile(false);
  EXPECT_EQ(e->nameLine(), "Bank imported: " + longName);
  IRECT all(0, 0, e->graphics->Width(), e->graphics->Height());
  e->graphics->Draw(&all);
  const std::string shown = e->displayLines.nameLine->drawnText();
  EXPECT_EQ(shown.rfind("Bank imported: A Much", 0), 0u) << shown;
  EXPECT_NE(shown.find("\u2026"), std::string::npos) << shown;
}

TEST_F(Librarian, SaveAsThroughThePanelClearsTheUnsavedStateAndShowsTheNewBank)
{
  openWindow();
  e->rename(1, "Saved Name");
  ASSERT_EQ(e->GetParam(kBankEditUnsaved)->Value(), 1.0);
  script->answerPanel(data.file("Patches/Live/Copy.dvl"));
  ASSERT_TRUE(e->lib().savePatchAs("Alpha.dvl", e->getPatchesFolderStr() + "/", false));
  e->librarianBankSaved(true);
  ASSERT_EQ(script->panelsShown.size(), 1u);
  EXPECT_FALSE(script->panelsShown[0].open);
  EXPECT_EQ(script->panelsShown[0].types, (std::vector<std::string>{"dvl"}));
  EXPECT_EQ(e->GetParam(kBankEditUnsaved)->Value(), 0.0);
  const int shown = e->lib().upperFileIndex;
  EXPECT_EQ(e->lib().patchFiles[(size_t)shown]->fileName, "Copy.dvl");
  EXPECT_EQ(e->slotName(shown, 1), "Saved Name");
  EXPECT_EQ(readFileBytes(data.file("Patches/Live/Copy.dvl")).size(), 38016u);
  EXPECT_EQ(e->nameLine(), "Bank saved: Copy.dvl");

  // Saved outside the bank folder, the new file is not listed: the bank it was saved
  // from stays shown, and so named.
  TempFolder elsewhere("davrel-saveas");
  script->answerPanel(elsewhere.path() + "/Outside.dvl");
  ASSERT_TRUE(e->lib().savePatchAs("Copy.dvl", elsewhere.path(), false));
  e->librarianBankSaved(true);
  EXPECT_EQ(e->lib().upperFileIndex, e->bankIndex("Copy.dvl"));
  EXPECT_EQ(e->leftPatchPopupMenu->caption(), "UPPER: Live / Copy.dvl");
  EXPECT_EQ(e->nameLine(), "Bank saved: Outside.dvl");
  e->rename(2, "Edited");  // not once the bank is edited again
  EXPECT_EQ(e->nameLine(), "");
}

// The rename box in its window: it opens typing over the old name, selected; then
// OK renames, Cancel and another page (chosen by the host) leave the name, and a
// click on a button goes no further: the grid under it keeps its selection.
TEST_F(Librarian, RenameBoxOkRenamesAndCancelLeavesTheSlot)
{
  openWindow();
  e->userSets(kMainPage, 1);
  const int upper = e->lib().upperFileIndex;
  for (int button : {0, 1, -1})
  {
    const int slot = 4 + button;
    const std::string old = e->slotName(upper, slot);
    e->grid()->upperSelected = slot;
    e->grid()->renameSlot(0, 0);
    ASSERT_NE(view->textField(), nullptr) << button;
    EXPECT_EQ(view->textField()->selectionLength(), old.size());
    NSModalScript::type("Typed");
    NSRunLoop::currentRunLoop()->runOnce();
    if (button < 0) e->userSets(kMainPage, 0);
    const IRECT& r = e->renameButtons[button < 0 ? 0 : button]->GetTargetRECT();
    const NSPoint at = NSMakePoint((r.L + r.R) / 2 + 2, e->graphics->Height() - 3 - (r.T + r.B) / 2);
    for (NSEventType t : {NSLeftMouseDown, NSLeftMouseUp})
      if (button >= 0) NSApp->postEvent(NSEvent::mouseEventWithType(t, at, 0, 0, window, 1), false);
    NSRunLoop::currentRunLoop()->runOnce();
    EXPECT_EQ(view->textField(), nullptr) << button;
    EXPECT_FALSE(e->patchRenameLayer->visible) << button;
    EXPECT_EQ(e->grid()->upperSelected, slot) << button;
    e->OnParamChange(kPatchRename);
    EXPECT_EQ(e->slotName(upper, slot), button == 0 ? "Typed" : old) << button;
  }
}

// A bare name from the panel is a file of the folder the panel showed; a write that
// fails is said on the display and changes nothing.
TEST_F(Librarian, SaveAsResolvesABareNameInTheBanksFolderAndReportsAFailedWrite)
{
  openWindow();
  script->answerPanel("Bare.dvl");
  ASSERT_TRUE(e->lib().savePatchAs("Alpha.dvl", e->getPatchesFolderStr() + "/Live", false));
  EXPECT_EQ(readFileBytes(data.file("Patches/Live/Bare.dvl")).size(), 38016u);
  // A name without a bank file's extension gets the form's own, so a scan lists it.
  for (const char* typed : {"NoExt", "My.Bank"})
  {
    script->answerPanel(typed);
    ASSERT_TRUE(e->lib().savePatchAs("Alpha.mid", e->getPatchesFolderStr() + "/Live", true));
    EXPECT_EQ(readFileBytes(data.file(std::string("Patches/Live/") + typed + ".mid")).size(), 38580u) << typed;
  }

  const std::string nameBefore = e->upperBankName;
  script->answerPanel(data.file("Patches/Alpha.dvl/Inside.dvl"));  // a file is no folder
  EXPECT_FALSE(e->lib().savePatchAs("Alpha.dvl", e->getPatchesFolderStr(), false));
  EXPECT_EQ(e->nameLine(), "Bank not saved: Inside.dvl");
  // Short enough for the display, without the system's words and the path.
  EXPECT_EQ(e->valueLine(), "Its folder does not exist");
  EXPECT_EQ(e->upperBankName, nameBefore);

  // A file that is there already was confirmed in the panel (which asks itself): it
  // is replaced without a second question.
  const std::string beta = data.file("Patches/Beta.dvl");
  const size_t alerts = script->alertsShown.size();
  script->answerPanel(beta);
  EXPECT_TRUE(e->lib().savePatchAs("Alpha.dvl", e->getPatchesFolderStr(), false));
  EXPECT_EQ(script->alertsShown.size(), alerts);
  EXPECT_EQ(readFileBytes(beta), readFileBytes(data.file("Patches/Alpha.dvl")));
}

// A failed write says why from its own error (root may write to a read-only disk by
// the permission bits, so asking the folder cannot tell); the bank stays as it was.
TEST_F(Librarian, AFailedWriteSaysWhyFromItsOwnError)
{
  std::vector<std::string> logged;
  e->lib().logTarget.set([&](const char* line) { logged.emplace_back(line); });
  const std::string path = data.file("Patches/Alpha.dvl");
  const Bytes before = readFileBytes(path);
  // The failing step, its error, the display's reason and the log's words.
  const std::tuple<FileWriteStep, int, const char*, const char*> rows[] = {
      {FileWriteStep::kCreate, EROFS, "Its folder is not writable", "Read-only file system"},
      {FileWriteStep::kCreate, EACCES, "Its folder is not writable", "Permission denied"},
      {FileWriteStep::kCreate, ENOENT, "Its folder does not exist", "No such file or directory"},
      {FileWriteStep::kWrite, ENOSPC, "The disk is full", "No space left on device"},
      {FileWriteStep::kSync, EDQUOT, "The disk is full", "Disk quota exceeded"},
      {FileWriteStep::kSync, EIO, "The file could not be written", "Input/output error"},
      {FileWriteStep::kRename, EIO, "The file could not be written", "Input/output error"},
  };
  for (const auto& [step, error, valueLine, words] : rows)
  {
    SCOPED_TRACE(words);
    logged.clear();
    {
      InjectedWriteFault fault(step, error);
      EXPECT_FALSE(e->lib().saveEditedPatch(path, "Alpha.dvl"));
    }
    EXPECT_EQ(e->nameLine(), "Bank not saved: Alpha.dvl");
    EXPECT_EQ(e->valueLine(), valueLine);
    EXPECT_EQ(logged, std::vector<std::string>{"PATCH LIBRARIAN: could not write " + path + ": " + words});
    EXPECT_EQ(readFileBytes(path), before);
    EXPECT_EQ(temporaryFilesIn(data.file("Patches")), std::vector<std::string>());
  }

  // An import into a full disk says so too.
  openWindow();
  writeFile(data.file("in/New.syx"), rawBank("Fresh ", 128, 5000));
  script->answerPanel(data.file("in/New.syx"));
  {
    InjectedWriteFault full(FileWriteStep::kWrite, ENOSPC);
    e->saveImportedFile(false);
  }
  EXPECT_EQ(e->nameLine(), "Import failed!");
  EXPECT_EQ(e->valueLine(), "The disk is full");
  EXPECT_FALSE(fileExists(data.file("Patches/New.syx")));
  EXPECT_EQ(temporaryFilesIn(data.file("Patches")), std::vector<std::string>());

  // So does the split of an imported file, which leaves nothing of it in Patches.
  const auto folderBefore = listTree(data.file("Patches"));
  writeFile(data.file("in/Big.syx"), rawBank("Big ", 200, 7000));
  script->answerPanel(data.file("in/Big.syx"));
  e->saveImportedFile(false);
  {
    InjectedWriteFault full(FileWriteStep::kWrite, ENOSPC);
    e->OnParamChange(kRefreshFolders);
  }
  EXPECT_EQ(e->nameLine(), "Bank not listed: Big.syx");
  EXPECT_EQ(e->valueLine(), "The disk is full");
  EXPECT_EQ(listTree(data.file("Patches")), folderBefore);
  auto loggedLine = [&](const std::string& tail) {
    const std::string line = "PATCH LIBRARIAN: could not split " + data.file("Patches/Big.syx") + tail;
    return std::find(logged.begin(), logged.end(), line) != logged.end();
  };
  EXPECT_TRUE(loggedLine("; the imported copy is removed"));
  // A file of the user's own that cannot be split stays in place; a later import of
  // the same name, with room on the disk, is split and listed.
  writeFile(data.file("Patches/Big.syx"), rawBank("Big ", 200, 7000));
  {
    InjectedWriteFault full(FileWriteStep::kWrite, ENOSPC);
    e->OnParamChange(kRefreshFolders);
  }
  EXPECT_TRUE(loggedLine("; it stays in place and is not listed"));
  ASSERT_EQ(::unlink(data.file("Patches/Big.syx").c_str()), 0);
  script->answerPanel(data.file("in/Big.syx"));
  e->saveImportedFile(false);
  e->OnParamChange(kRefreshFolders);
  EXPECT_EQ(e->nameLine(), "Banks imported: Big Singles 1.dvl");
  EXPECT_TRUE(fileExists(data.file("Converted Banks/Big.syx")));
}

// ---- help ----

// Escape closes each of our panels, as its x does (the first-run notice's is written
// down as seen, the filter page's switch follows; the rename box's Cancel), as it
// closes the file panels and alerts; with none open it goes on to the host. Each x
// lies on a 1280 x 800 screen at every editor size, the window in the screen's corner.
TEST_F(Librarian, EscapeClosesEveryPanelAsItsXWhichIsOnScreenAtEverySize)
{
  ASSERT_TRUE(writeEditorSize(data, "normal"));
  openWindow();
  window->makeFirstResponder(view);
  const Bytes settingsBefore = readFileBytes(data.file("Davrel Editor UI.txt"));
  auto xOf = [](ControlLayer* panel, int paramIdx) {
    IControl* x = nullptr;
    for (int i = 0; i < panel->controls.GetSize(); ++i)
      if (panel->controls.Get(i)->ParamIdx() == paramIdx) x = panel->controls.Get(i);
    return x;
  };
  const struct
  {
    ControlLayer* panel;
    IControl* x;
    std::function<bool()> closedByX;
  } rows[] = {
      {e->aboutWindowLayer, xOf(e->aboutWindowLayer, kExitAboutWindow), [] { return true; }},
      {e->firstRunNotificationLayer, xOf(e->firstRunNotificationLayer, kFirstRunExit),
       [&] { return readFileBytes(data.file("Davrel Editor UI.txt")) != settingsBefore; }},
      {e->midiFilterSettingsLayer, xOf(e->midiFilterSettingsLayer, kViewMIDIFilterSettings),
       [&] { return e->GetParam(kViewMIDIFilterSettings)->Value() == 0.0; }},
      {e->patchRenameLayer, e->renameButtons[1], [&] { return e->renameClosed; }},
  };
  for (const auto& row : rows)
  {
    SCOPED_TRACE(row.panel->name);
    ASSERT_NE(row.x, nullptr);
    if (row.panel == e->midiFilterSettingsLayer) e->userSets(kViewMIDIFilterSettings, 1);
    row.panel->Hide(false);
    e->renameClosed = row.panel != e->patchRenameLayer;
    for (int passedOn : {0, 1})
    {
      const int before = content->keysPassedOn;
      NSApp->postEvent(NSEvent::keyEventWithType(NSKeyDown, 0, window, u"\x1b", u"\x1b", kVK_Escape), false);
      NSRunLoop::currentRunLoop()->runOnce();
      EXPECT_EQ(content->keysPassedOn, before + passedOn);
    }
    EXPECT_FALSE(row.panel->visible);
    EXPECT_TRUE(row.closedByX());
    for (const EditorSize& size : kEditorSizes)
    {
      EXPECT_LE(row.x->GetRECT().R / e->uiScale * size.scale, 1280) << size.name;
      EXPECT_LE(row.x->GetRECT().B / e->uiScale * size.scale, 800) << size.name;
    }
  }
}

TEST_F(Librarian, HelpActionsOpenOneArgumentEachAndNoShell)
{
  // A data folder whose name a shell would take apart.
  TempFolder odd("davrel-help");
  const std::string folder = odd.path() + "/My \"Banks\"; $(touch pwned) `id`";
  std::filesystem::create_directories(folder);
  setenv("DAVREL_DATA_DIR", folder.c_str(), 1);
  openWindow();
  std::vector<std::vector<std::string>> opened;
  NSWorkspace::sharedWorkspace()->setOpener([&](const std::vector<std::string>& argv) {
    opened.push_back(argv);
    return true;
  });
  struct Case
  {
    std::function<void()> action;
    std::string expect;  // empty: nothing opened
  } cases[] = {
      {[&] { e->OpenDataDirectory(false); }, "file://" + odd.path() + "/My%20%22Banks%22%3B%20%24%28touch%20pwned%29%20%60id%60/"},
      {[&] { e->OpenDataDirectory(true); },
       "file://" + odd.path() + "/My%20%22Banks%22%3B%20%24%28touch%20pwned%29%20%60id%60/Rudu-Davrel-User-Manual.pdf"},
      {[&] { e->OpenHelpTopics(0); }, "https://www.quietharborsound.com/my-tickets/"},
      {[&] { e->OpenHelpTopics(1); }, "https://www.quietharborsound.com/downloads/"},
      {[&] { e->OpenHelpTopics(2); }, "https://help.quietharborsound.com/kb/articles/"},
      {[&] { e->OpenHelpTopics(3); }, ""},
      {[&] { e->OpenHelpTopics(-1); }, ""},
  };
  for (const Case& c : cases)
  {
    opened.clear();
    c.action();
    if (c.expect.empty())
      EXPECT_TRUE(opened.empty());
    else
    {
      ASSERT_EQ(opened.size(), 1u) << c.expect;
      ASSERT_EQ(opened[0].size(), 2u);
      EXPECT_EQ(opened[0][1], c.expect);
    }
  }
  NSWorkspace::sharedWorkspace()->setOpener(nullptr);
  EXPECT_FALSE(std::filesystem::exists(folder + "/pwned"));
  EXPECT_FALSE(std::filesystem::exists("pwned"));
}

}  // namespace

// A first start with an empty data folder: no bank is open, so the requests into
// the librarian are refused; the bank menu's Save As makes the first bank (128
// initial programs) in the bank folder and opens it, and they go ahead.
class FirstStart : public Librarian
{
protected:
  void SetUp() override
  {
    e.reset(new UnderTest<LibEditor>);
    e->midiOutSet = true;
    e->takeSent();
  }
};

TEST_F(FirstStart, SaveAsOfNoBankMakesTheFirstBankAndRequestsLandInIt)
{
  openWindow();
  e->userSets(kShowLibrarian, 1);
  ASSERT_EQ(e->lib().bankAt(e->lib().upperFileIndex), nullptr);
  e->userSets(kOverwriteBank, 1);
  EXPECT_EQ(e->nameLine(), "Open a Bank First!");
  EXPECT_TRUE(e->started.empty());

  script->chooseMenuItem({8, 1});  // Save As... > Davrel Format (*.dvl)
  script->answerPanel(data.file("Patches/First.dvl"));
  IMouseMod left(true);
  ASSERT_NE(e->bankEditPopupMenu, nullptr);
  e->bankEditPopupMenu->OnMouseDown(0, 0, &left);
  EXPECT_EQ(script->pending(), 0u);
  ASSERT_EQ(script->panelsShown.size(), 1u);
  EXPECT_EQ(script->panelsShown[0].directory, e->getPatchesFolderStr());
  EXPECT_EQ(script->panelsShown[0].file, "New Bank.dvl");

  const Bytes file = readFileBytes(data.file("Patches/First.dvl"));
  ASSERT_EQ(file.size(), 128u * 297u);
  PatchFile* bank = e->lib().bankAt(e->lib().upperFileIndex);
  ASSERT_NE(bank, nullptr);
  EXPECT_EQ(bank->fileName, "First.dvl");
  EXPECT_EQ(e->upperBankName, "First.dvl");
  ASSERT_EQ(bank->patches.size(), 128u);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 297), e->slotBytes(e->lib().upperFileIndex, 0));

  e->userSets(kOverwriteBank, 0);
  e->displayText("-", "-", "-");
  e->userSets(kOverwriteBank, 1);
  EXPECT_EQ(e->nameLine(), "-");  // not refused
  EXPECT_EQ(e->started.size(), 1u);
}
