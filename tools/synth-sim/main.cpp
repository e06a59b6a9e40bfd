// synth-sim: the simulated synthesizer as a program. Opens its JACK MIDI ports,
// prints "ready OUT IN" once they exist, prints every message it receives, and
// runs commands read from standard input, one a line:
//   send HEX...                     one message (bytes in hex), sent whole
//   dump SIZE [PIECE [BYTES/S]]     a system-exclusive dump of SIZE bytes, paced
//   hwdump SIZE                     the same at the pace of the synthesizer's cable
//   syx FILE [PIECE [BYTES/S]]      every message of a .syx file, paced
//   flush [MS]                      wait until everything queued has gone out
//   expect COUNT [MS]               wait until COUNT messages in all were received
//   wait MS                         pause
//   program N                       front panel: select program N (sends the change)
//   edit PL PH VL VH                front panel: change a parameter (sends the report)
//   fault NAME [N]                  none, silent, late MS, channel N, malformed,
//                                   truncated, flood N, gone PIECES, paced
//   quit
// Options: --name CLIENT (default "Rudu"), --echo (send back what arrives),
// --connect CLIENT (join our ports to that client's "MIDI In" and "MIDI Out"),
// --answer (answer requests, store programs and globals as the synthesizer does),
// --channel N (the synthesizer's global channel with --answer, default 0). With
// DAVREL_JACK_SERVER set, both client names get "@" and that name after them, as
// every JACK client of that test bed does.
// Exit status 0 when every command succeeded. Run it under timeout: a JACK client
// whose server dies can hang.

#include "SynthModel.h"
#include "SynthSim.h"
#include "plug/MidiPortSelect.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <iostream>
#include <mutex>
#include <sstream>
#include <thread>

namespace {

std::mutex gPrint;

unsigned Checksum(const SimBytes& b)
{
  unsigned s = 0;
  for (unsigned char c : b) s = s * 31 + c;
  return s;
}

void PrintReceived(const SimMessage& m)
{
  std::lock_guard<std::mutex> l(gPrint);
  printf("recv %.6f %zu %08x", m.seconds, m.bytes.size(), Checksum(m.bytes));
  for (size_t i = 0; i < m.bytes.size() && i < 16; ++i) printf(" %02X", m.bytes[i]);
  printf(m.bytes.size() > 16 ? " ...\n" : "\n");
  fflush(stdout);
}

SimPacing ReadPacing(std::istringstream& in)
{
  SimPacing p;
  in >> p.pieceBytes >> p.bytesPerSecond;
  return p;
}

bool SendSyxFile(SynthSim& sim, const std::string& path, SimPacing pacing)
{
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  SimBytes all((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  SimBytes msg;
  for (unsigned char b : all)
  {
    if (b == 0xF0) msg.clear();
    msg.push_back(b);
    if (b == 0xF7 && msg.front() == 0xF0)
    {
      if (!sim.Send(msg, pacing)) return false;
      msg.clear();
    }
  }
  return true;
}

} // namespace

int main(int argc, char** argv)
{
  std::string name = "Rudu", peer;
  bool echo = false, answer = false;
  int channel = 0;
  for (int i = 1; i < argc; ++i)
  {
    if (!strcmp(argv[i], "--name") && i + 1 < argc) name = argv[++i];
    else if (!strcmp(argv[i], "--echo")) echo = true;
    else if (!strcmp(argv[i], "--answer")) answer = true;
    else if (!strcmp(argv[i], "--channel") && i + 1 < argc) channel = atoi(argv[++i]) & 15;
    else if (!strcmp(argv[i], "--connect") && i + 1 < argc) peer = argv[++i];
    else
    {
      fprintf(stderr, "usage: synth-sim [--name CLIENT] [--echo] [--connect CLIENT] [--answer [--channel N]] < commands\n");
      return 2;
    }
  }

  SynthSim sim(name);
  SynthModel model;
  model.globalChannel = channel;
  model.globals = SynthModel::MakeGlobals(channel, false);
  std::unique_ptr<SimResponder> responder;
  if (answer) responder.reset(new SimResponder(sim, model));
  std::string error;
  sim.SetOnReceive([&](const SimMessage& m) {
    PrintReceived(m);
    if (responder) responder->Take(m.bytes);
  });
  sim.SetEcho(echo);
  if (!sim.Open(&error))
  {
    fprintf(stderr, "synth-sim: %s\n", error.c_str());
    return 1;
  }
  if (!peer.empty()) peer = JackClientName(peer);
  if (!peer.empty() &&
      !(sim.Connect(sim.OutputPortName(), peer + ":MIDI In") && sim.Connect(peer + ":MIDI Out", sim.InputPortName())))
  {
    fprintf(stderr, "synth-sim: cannot connect to %s\n", peer.c_str());
    return 1;
  }
  {
    std::lock_guard<std::mutex> l(gPrint);
    printf("ready %s %s\n", sim.OutputPortName().c_str(), sim.InputPortName().c_str());
    fflush(stdout);
  }

  int failures = 0;
  std::string line;
  while (std::getline(std::cin, line))
  {
    std::istringstream in(line);
    std::string cmd;
    if (!(in >> cmd) || cmd[0] == '#') continue;
    bool ok = true;
    if (cmd == "send")
    {
      SimBytes msg;
      std::string hex;
      while (in >> hex) msg.push_back((unsigned char)strtoul(hex.c_str(), nullptr, 16));
      ok = sim.Send(msg);
    }
    else if (cmd == "dump" || cmd == "hwdump")
    {
      long size = 0;
      in >> size;
      const SimPacing pacing = cmd == "hwdump" ? SimPacing::Hardware() : ReadPacing(in);
      ok = size >= 5 && sim.Send(MakeSimDump((int)size), pacing);
    }
    else if (cmd == "syx")
    {
      std::string path;
      in >> path;
      ok = SendSyxFile(sim, path, ReadPacing(in));
    }
    else if (cmd == "flush")
    {
      int ms = 60000;
      in >> ms;
      ok = sim.WaitUntilSent(ms);
    }
    else if (cmd == "expect")
    {
      size_t count = 0;
      int ms = 10000;
      in >> count >> ms;
      ok = sim.WaitForReceived(count, ms);
    }
    else if (cmd == "wait")
    {
      int ms = 0;
      in >> ms;
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
    else if (cmd == "program" && responder)
    {
      int p = 0;
      in >> p;
      responder->SendNow(model.SelectProgram(p));
    }
    else if (cmd == "edit" && responder)
    {
      int pl = 0, ph = 0, vl = 0, vh = 0;
      in >> pl >> ph >> vl >> vh;
      responder->SendNow(model.EditParameter(pl, ph, vl, vh));
    }
    else if (cmd == "fault")
    {
      std::string what;
      int n = 0;
      in >> what >> n;
      std::lock_guard<std::mutex> l(model.lock);
      SimFaults& f = model.faults;
      if (what == "none") f = SimFaults();
      else if (what == "silent") f.silent = true;
      else if (what == "late") f.lateMs = n;
      else if (what == "channel") f.answerChannel = n & 15;
      else if (what == "malformed") f.malformed = true;
      else if (what == "truncated") f.truncated = true;
      else if (what == "flood") f.flood = n;
      else if (what == "gone") f.goneAfterPieces = n;
      else if (what == "paced") f.paced = true;
      else ok = false;
    }
    else if (cmd == "quit")
      break;
    else
      ok = false;
    if (!ok)
    {
      ++failures;
      std::lock_guard<std::mutex> l(gPrint);
      printf("failed: %s\n", line.c_str());
      fflush(stdout);
    }
  }
  sim.WaitUntilSent(10000);
  sim.Close();
  responder.reset();
  return failures ? 1 : 0;
}
