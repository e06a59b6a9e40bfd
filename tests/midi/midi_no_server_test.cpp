// With neither a JACK server nor an ALSA sequencer the lists hold "OFF" alone,
// no port object is kept, a name chosen is kept for a server to come, the reason is
// logged, and nothing crashes.
#include "ConsoleCapture.h"
#include "PollUntil.h"
#include "TestPlug.h"

#include <gtest/gtest.h>

#include <cstdlib>

TEST(MidiWithoutServer, ListsHoldOffAloneAndNothingCrashes)
{
  setenv("JACK_DEFAULT_SERVER", "davrel-no-server", 1);
  setenv("JACK_NO_START_SERVER", "1", 1);
  TestPlug plug;
  {
    ASSERT_TRUE(plug.WaitForLists());
    EXPECT_EQ(plug.getExternalMIDIOutNames(), std::vector<std::string>{"OFF"});
    EXPECT_EQ(plug.getExternalMIDIInNames(), std::vector<std::string>{"OFF"});
    // RtMidi's JACK objects outlive a client that could not be opened; none is kept.
    EXPECT_FALSE(plug.HasPortObjects());
    // A name chosen (a recalled project's) is kept, to be opened once a server runs.
    int index = 1;
    EXPECT_EQ(plug.setExternalMIDIOut(index, "Rudu:MIDI In"), 1);
    index = 1;
    EXPECT_EQ(plug.setExternalMIDIIn(index, "Rudu:MIDI Out"), 1);
    EXPECT_EQ(plug.getExternalMIDIOutNames(), (std::vector<std::string>{"OFF", "Rudu:MIDI In"}));
    // Refused once the port thread found it missing.
    EXPECT_TRUE(pollUntil([&] { return plug.MidiOutPortMissing(); }, 30000));
    IMidiMsg cc(0, 0xB0, 0x07, 0x7F);
    EXPECT_FALSE(plug.SendMidiMsg(&cc));
    EXPECT_EQ(plug.GetMIDIOutPortNumber("Rudu:MIDI In"), -1);
    // An empty message from the library reaches nothing, and the callback (JACK's
    // realtime thread) hands nothing to the console: its line is the input thread's.
    std::vector<unsigned char> empty;
    CaptureConsole();
    IPlugBase::MIDICallback(0.0, &empty, &plug);
    EXPECT_EQ(CapturedConsole(), "");
    EXPECT_EQ(plug.Count(), 0u);
  }
}

// Read on the port thread, started ahead or by the first list asked for.
TEST(MidiWithoutServer, TheReasonIsLogged)
{
  setenv("JACK_DEFAULT_SERVER", "davrel-no-server", 1);
  setenv("JACK_NO_START_SERVER", "1", 1);
  for (const bool ahead : {false, true})
  {
    SCOPED_TRACE(ahead ? "read ahead" : "read in place");
    CaptureConsole();
    {
      TestPlug plug;
      if (ahead)
        plug.ReadMidiPortListsAhead();
      else
        plug.getExternalMIDIOutNames();
      EXPECT_TRUE(plug.WaitForLists());
    }
    const std::string log = CapturedConsole();
    EXPECT_NE(log.find("MIDI OUT INITIALIZATION\n"), std::string::npos) << log;
    EXPECT_NE(log.find("MIDI OUT: no ALSA sequencer"), std::string::npos) << log;
    EXPECT_NE(log.find("MIDI OUT: no JACK server takes the client"), std::string::npos) << log;
    EXPECT_NE(log.find("MIDI IN: no JACK server takes the client"), std::string::npos) << log;
  }
}
