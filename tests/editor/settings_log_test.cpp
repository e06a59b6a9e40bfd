// The settings file, the log file and the console trace of outgoing system exclusive.

#include "ConsoleCapture.h"
#include "EditorTestSupport.h"
#include "LibrarianTestSupport.h"
#include "WriteFaults.h"
#include "config/ParamIds.h"
#include "editor/DebuggerOutput.h"
#include "editor/EditorSettings.h"
#include "librarian/LibrarianLog.h"
#include "ui/ControlLayer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <regex>
#include <thread>
#include <unistd.h>
#include <sys/stat.h>

namespace {

std::string readText(const std::string& path)
{
  const auto b = readWholeFile(path);
  return std::string(b.begin(), b.end());
}

TEST(SettingsFile, ReadsTheThreeWordsAsWritten)
{
  struct Case
  {
    const char* text;
    bool exists;
    double scale;
    int skin;
    bool notice;
  } cases[] = {
      {"black\r\nsmall\r\nno\r\n", true, 0.75, 1, true},
      {"large", true, 1.0, 0, false},  // line 1 is no skin word, line 2 is missing
      {"", true, 1.0, 0, false},
      {"normal\nlarge\nno \t\r\n\n", true, 1.25, 0, true},
      {"Black\nLARGE\nNo\n", true, 1.0, 0, false},  // case-sensitive
      {"black\nnormal\nyes\n\n", true, 1.0, 1, false},
      {nullptr, false, 1.0, 0, false},
  };
  for (const Case& c : cases)
  {
    DataFolder data;
    if (c.text) writeWholeFile(data.file("Davrel Editor UI.txt"), std::string(c.text));
    EditorUnderTest editor;
    SCOPED_TRACE(c.text ? c.text : "(no file)");
    EXPECT_EQ(editor.uiScale, c.scale);
    EXPECT_EQ(editor.skinIndex, c.skin);
    EXPECT_EQ(editor.settings.showFirstRunNotice(), c.notice);
  }
}

TEST(SettingsFile, ChangesRewriteTheWholeFile)
{
  struct Case
  {
    const char* before;  // null: no file
    int param;
    int value;
    const char* after;   // null: no file afterwards
    const char* nameLine;
    const char* valueLine;
    int ports = 0;  // chosen: 1 the output, 2 the input
  } cases[] = {
      {"normal\nnormal\nno\n", kUserInterfaceSize, 2, "normal\nlarge\nno\n\n", "Size changes applied...",
       "Reload project!"},
      {"normal\nsmall\nno\n", kUserInterfaceSize, 3, "normal\nsmall\nno\n\n", "Size changes applied...",
       "Reload project!"},
      {"normal\nsmall\nno\n", kUserInterfaceSkin, 1, "black\nsmall\nno\n\n", "Skin changes applied...",
       "Reload project!"},
      {"odd\nword\nno\r\n", kFirstRunExit, 1, "odd\nword\nyes\n\n", "Set MIDI In and MIDI Out", nullptr},
      {"normal\nnormal\nno\n", kFirstRunExit, 1, "normal\nnormal\nyes\n\n", "Set MIDI In and MIDI Out", nullptr, 1},
      {"normal\nnormal\nno\n", kFirstRunExit, 1, "normal\nnormal\nyes\n\n", "Set MIDI In and MIDI Out", nullptr, 2},
      {"normal\nnormal\nno\n", kFirstRunExit, 1, "normal\nnormal\nyes\n\n", nullptr, nullptr, 3},
      {"normal\nnormal\nno\n", kFirstRunExit, 0, "normal\nnormal\nno\n", nullptr, nullptr},
      // No file: the choice is refused and the file is not made.
      {nullptr, kFirstRunExit, 1, nullptr, "Davrel Editor UI.txt MISSING!", "Contact support"},
      {nullptr, kUserInterfaceSize, 2, nullptr, "Davrel Editor UI.txt MISSING!", "Contact support"},
      // A file that cannot be replaced (a folder of that name): said on the display.
      {"", kUserInterfaceSize, 0, nullptr, "Davrel Editor UI.txt not written!", "Check the data folder"},
  };
  for (const Case& c : cases)
  {
    DataFolder data;
    const std::string path = data.file("Davrel Editor UI.txt");
    if (c.before && !*c.before) ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
    else if (c.before) writeWholeFile(path, std::string(c.before));
    EditorUnderTest editor;
    const std::string nameBefore = editor.nameLine(), valueBefore = editor.valueLine();
    const double scaleBefore = editor.uiScale;
    ASSERT_NE(editor.firstRunNotificationLayer, nullptr);
    editor.firstRunNotificationLayer->Hide(false);
    editor.GetParam(c.param)->InitInt("setting", 0, 0, 10);
    editor.midiOutSet = c.ports & 1, editor.midiInPortIndex = c.ports & 2 ? 1 : 0;
    editor.userSets(c.param, c.value);
    SCOPED_TRACE(std::to_string(c.param) + "=" + std::to_string(c.value));
    if (c.after) { EXPECT_EQ(readText(path), c.after); }
    if (!c.before)
    {
      // Refused whole: no file, the first-run word unset and the notice still shown.
      EXPECT_NE(access(path.c_str(), F_OK), 0);
      EXPECT_EQ(editor.settings.lines[2], "");
      EXPECT_TRUE(editor.firstRunNotificationLayer->visible);
    }
    EXPECT_EQ(editor.nameLine(), c.nameLine ? c.nameLine : nameBefore);
    EXPECT_EQ(editor.valueLine(), c.valueLine ? c.valueLine : valueBefore);
    EXPECT_EQ(editor.uiScale, scaleBefore);  // applied at the next start only
  }
}

TEST(SettingsFile, AFailedRewriteKeepsTheOldFile)
{
  TempFolder folder;
  const std::string path = folder.file("Davrel Editor UI.txt");
  writeWholeFile(path, std::string("black\nlarge\nyes\n\n"));
  EditorSettings s;
  ASSERT_TRUE(s.read(path));
  s.lines[1] = "small";
  for (const FileWriteStep step : {FileWriteStep::kCreate, FileWriteStep::kWrite, FileWriteStep::kSync})
  {
    // A full disk: the write is refused and nothing is lost.
    InjectedWriteFault full(step, ENOSPC);
    EXPECT_FALSE(s.write(path));
    EXPECT_EQ(readText(path), "black\nlarge\nyes\n\n");
  }
  EXPECT_TRUE(s.write(path));
  EXPECT_EQ(readText(path), "black\nsmall\nyes\n\n");
  EXPECT_EQ(temporaryFilesIn(folder.path()), std::vector<std::string>());
}

TEST(LogFile, WrittenOnlyWhenItExistsAndEmptiedAtStart)
{
  {
    DataFolder data;
    EditorUnderTest editor;
    EXPECT_FALSE(editor.debugLogEnabled);
    EXPECT_NE(access(data.file("Davrel Editor LOG.txt").c_str(), F_OK), 0);
    // Without the log file the value line shows the version alone.
    EXPECT_EQ(editor.valueLine(), "v2.0.8");
  }
  DataFolder data;
  const std::string log = data.file("Davrel Editor LOG.txt");
  writeWholeFile(log, std::string("old line from another day\n"));
  EditorUnderTest editor;
  EXPECT_TRUE(editor.debugLogEnabled);
  EXPECT_EQ(editor.valueLine(), "v2.0.8 10-Oct-2020");
  const std::string text = readText(log);
  EXPECT_EQ(text.find("old line"), std::string::npos);
  const std::regex line(R"(\d{4}-\d\d-\d\d\.\d\d:\d\d:\d\d\t [^\n]*\n)");
  std::string rest = text;
  std::smatch m;
  int lines = 0;
  while (std::regex_search(rest, m, line, std::regex_constants::match_continuous))
  {
    ++lines;
    rest = m.suffix();
  }
  EXPECT_EQ(rest, "");
  EXPECT_GT(lines, 5);
  EXPECT_NE(text.find("\t INITIALIZATION STARTED!\n"), std::string::npos);
  EXPECT_NE(text.find("\t Data folder located at " + data.folder.path() + "/\n"), std::string::npos);
  EXPECT_NE(text.find("\t Plug-in is ready to load!\n"), std::string::npos);
}

TEST(LogFile, EachInstanceKeepsItsLibrarianLinesInItsOwnLog)
{
  // Beside the first instance come and go one without a log file, then one with its
  // own: the first one's librarian still logs, and only into its own file; the one
  // without writes its lines nowhere, not even to the process's own sink.
  static std::atomic<int> stray{0};
  setLibrarianLogSink([](const char*) { ++stray; });
  DataFolder first;
  const std::string log = first.file("Davrel Editor LOG.txt");
  writeWholeFile(log, std::string());
  writeBankFile(first.file("Patches/Own.dvl"), 1);
  EditorUnderTest a;
  for (const std::string other : {"Unlogged.dvl", "Logged.dvl"})
  {
    DataFolder data;
    if (other == "Logged.dvl") writeWholeFile(data.file("Davrel Editor LOG.txt"), std::string());
    writeBankFile(data.file("Patches/" + other), 2);
    EditorUnderTest b;
  }
  a.patchLibrarian->initBankFilesOnDiscard(first.file("Patches"));
  const std::string text = readText(log), loaded = "\t PATCH LIBRARIAN: loaded file " + first.file("Patches/Own.dvl");
  EXPECT_NE(text.find(loaded), text.rfind(loaded)) << text;  // at the start and at the rescan
  EXPECT_EQ(text.find("ogged.dvl"), std::string::npos) << text;
  setLibrarianLogSink(&librarianLogToStdout);
  EXPECT_EQ(stray.load(), 0);
}

TEST(LogFile, LinesFromManyThreadsStayWhole)
{
  TempFolder folder;
  const std::string log = folder.file("log.txt");
  writeWholeFile(log, std::string());
  ASSERT_TRUE(DebuggerOutput::openDebugFile(log));
  std::vector<std::thread> threads;
  const std::string text(300, 'x');
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) DebuggerOutput::printDebugInfo(log, text);
    });
  for (auto& t : threads) t.join();
  const std::string all = readText(log);
  const std::regex line(R"(\S+\t x{300}\n)");
  EXPECT_EQ(std::regex_replace(all, line, ""), "");
}

TEST(SysExTrace, PrintsTheBodyBetweenF0AndF7InLowercaseWithItsCount)
{
  const unsigned char body[] = {0x42, 0x30, 0x58, 0x10, 0x05, 0x7F};
  // The count is the body's: F0 and F7 are the port's and not counted.
  EXPECT_EQ(DebuggerOutput::sysExTraceLine(body, 4), "Plug-in MIDI Out (sysex | 4 bytes | F0 42 30 58 10 F7)\n");
  EXPECT_EQ(DebuggerOutput::sysExTraceLine(body + 4, 2), "Plug-in MIDI Out (sysex | 2 bytes | F0 05 7f F7)\n");
  EXPECT_EQ(DebuggerOutput::sysExTraceLine(body, 0), "Plug-in MIDI Out (sysex | 0 bytes | F0 F7)\n");
  EXPECT_EQ(DebuggerOutput::sysExTraceLineInt({0x42, 0x130, 0x58}, 3),
            "Plug-in MIDI Out (sysex | 3 bytes | F0 42 30 58 F7)\n");
  // A whole message is shown as it goes out, not wrapped a second time.
  const unsigned char whole[] = {0xF0, 0x42, 0x30, 0x58, 0x10, 0xF7};
  EXPECT_EQ(DebuggerOutput::sysExTraceLine(whole, 6), "Plug-in MIDI Out (sysex | 4 bytes | F0 42 30 58 10 F7)\n");
  CaptureConsole();
  DebuggerOutput::logSysExOutMessageByte(body, 4);
  DebuggerOutput::logSysExOutMessageByteInt({0x05, 0x7F}, 2);
  EXPECT_EQ(CapturedConsole(),
            "Plug-in MIDI Out (sysex | 4 bytes | F0 42 30 58 10 F7)\n"
            "Plug-in MIDI Out (sysex | 2 bytes | F0 05 7f F7)\n");
}

}  // namespace

namespace {
// An output port that takes every system-exclusive message: only what a port took is traced.
class TakingEditor : public RecordingEditor
{
public:
  bool SendMidiSysex(unsigned char*, int) override { return true; }
};
}  // namespace

TEST(SysExTrace, EachMessageSentIsTracedOnceOnTheConsoleAndNeverInTheLog)
{
  DataFolder data;
  writeWholeFile(data.file("Davrel Editor LOG.txt"), std::string());
  UnderTest<TakingEditor> e;
  ASSERT_TRUE(e.debugLogEnabled);
  e.GetParam(kDeviceOutSelection)->InitInt("out", 0, 0, 8);
  e.GetParam(kDeviceOutSelection)->Set(1);
  e.midiOutSet = true;
  // A parameter change as the router sends it: body without F0 and F7.
  CaptureConsole();
  e.midiMessageManager->sendSysexMessage({0x42, 0x30, 0x58, 0x41, 0x10, 0x01, 0x05, 0x00});
  const std::string console = CapturedConsole();
  const std::string log = readText(data.file("Davrel Editor LOG.txt"));
  const std::string line = "Plug-in MIDI Out (sysex | 8 bytes | F0 42 30 58 41 10 01 05 00 F7)\n";
  size_t n = 0;
  for (size_t at = console.find(line); at != std::string::npos; at = console.find(line, at + 1)) ++n;
  EXPECT_EQ(n, 1u) << console;
  EXPECT_EQ(console.find("Build LOG: \t Plug-in MIDI Out"), std::string::npos) << console;
  EXPECT_EQ(log.find("Plug-in MIDI Out"), std::string::npos) << log;
}

TEST(RequestLog, ARefusedDumpIsLoggedWithWhatWasWrong)
{
  DataFolder data;
  writeWholeFile(data.file("Davrel Editor LOG.txt"), std::string());
  EditorUnderTest e;
  std::vector<uint8_t> program(296, 0), global(234, 0);
  for (auto* m : {&program, &global})
    (*m)[0] = 0xF0, (*m)[1] = 0x42, (*m)[2] = 0x30, (*m)[3] = 0x58, m->back() = 0xF7;
  program[4] = 0x40;
  global[4] = 0x51;
  ISysEx p(0, program.data(), (int)program.size()), g(0, global.data(), (int)global.size());
  e.midiMessageManager->sysexPartPatchParse(&p);
  e.midiMessageManager->sysexSettingsParse(&g);
  // 297 bytes, the old end (byte 295) inside; then a status byte at the first data
  // byte; then F7, function, header made 00.
  program.push_back(0xF7);
  for (const std::pair<int, uint8_t> change : {std::make_pair(-1, 0), {5, 0xF8}, {296, 0}, {4, 0}, {1, 0}})
  {
    if (change.first >= 0) program[(size_t)change.first] = change.second;
    ISysEx s(0, program.data(), (int)program.size());
    e.midiMessageManager->sysexPartPatchParse(&s);
  }
  const std::string log = readText(data.file("Davrel Editor LOG.txt"));
  for (const char* why : {"296 bytes, 297 expected", "byte 295 is F7, a status byte inside the data",
                          "byte 5 is F8, a status byte inside the data",
                          "header F0 00 30 58, F0 42 3n 58 expected", "function byte 00, 40 expected",
                          "no F7 at its end (byte 296 is 00)"})
    EXPECT_NE(log.find(std::string("Program dump refused: ") + why + "\n"), std::string::npos) << log;
  EXPECT_NE(log.find("Global dump refused: 234 bytes, 235 expected"), std::string::npos) << log;
}
