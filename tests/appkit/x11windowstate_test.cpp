// A window's side of the window manager's protocol, fed what a server and its manager
// tell (no server): what goes out at each step, and what the window's state is after.

#include "platform/appkit/X11WindowState.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

using State = AKX11WindowState;
using Map = State::Map;

// Writes each request: m map, w withdraw, p<x,y,w,h> place, f forget the state, a an
// answer (A when a map went out on it).
struct Log final : State::Requests
{
  void map() override { said += "m"; }
  void withdraw() override { said += "w"; }
  void place(const State::Place& p, bool, bool) override
  {
    said += "p" + std::to_string(p[0]) + "," + std::to_string(p[1]) + "," + std::to_string(p[2]) + "," +
            std::to_string(p[3]);
  }
  void forgetState() override { said += "f"; }
  void answered(bool mapsNow) override { said += mapsNow ? "A" : "a"; }
  std::string said;
};

const State::Place kAt{100, 200, 300, 150}, kA{400, 200, 300, 150}, kB{400, 200, 320, 170};

TEST(X11WindowState, FollowsWhatTheServerAndTheManagerTell)
{
  const auto t0 = State::Clock::now();
  struct Row { const char* what; std::function<void(State&, Log&)> steps; std::string said; Map end; };
  // A shown window a manager framed and mapped.
  const auto framed = [&](State& s) { s.show(t0), s.reparented(false, t0), s.stateIs(1, t0), s.mapped(false, t0); };
  const Row rows[] = {
      {"shown and hidden at once, mapped again by the manager after the withdrawal and let go mapped",
       [&](State& s, Log&) {
         s.show(t0), s.hide(t0), s.reparented(false, t0), s.mapped(false, t0), s.unmapped(false);
         s.mapped(false, t0), s.reparented(true, t0), s.stateIs(-1, t0);
       },
       "mwawa", Map::Withdrawn},
      {"hidden, then mapped by another client",
       [&](State& s, Log&) { framed(s), s.hide(t0), s.reparented(true, t0), s.stateIs(-1, t0), s.mapped(false, t0); },
       "mawaw", Map::Withdrawn},
      {"a place asked while the manager holds a hidden window waits for it to let go",
       [&](State& s, Log&) { framed(s), s.hide(t0), s.moveTo(kA, t0), s.reparented(true, t0), s.stateIs(-1, t0); },
       "mawp400,200,300,150a", Map::Withdrawn},
      {"the manager went while holding a hidden, moved window the server mapped on the root",
       [&](State& s, Log&) {
         framed(s), s.hide(t0), s.moveTo(kA, t0), s.mapped(false, t0);
         EXPECT_TRUE(s.reparented(true, t0));
         s.resync({true, true, 1, kAt}, false, t0);
       },
       "mawfwp400,200,300,150a", Map::Withdrawn},
      {"shown while the manager was stopped, moved by its frame: both asked again",
       [&](State& s, Log&) { s.show(t0), s.resync({false, true, -1, kA}, true, t0); }, "mp100,200,300,150mA",
       Map::Asked},
      {"a window the user minimised stays so",
       [&](State& s, Log&) { framed(s), s.resync({false, false, 3, kAt}, true, t0); }, "ma", Map::Mapped},
      {"moved while the manager was stopped, asked again",
       [&](State& s, Log&) { framed(s), s.moveTo(kA, t0), s.resync({true, false, 1, kAt}, true, t0); },
       "map400,200,300,150p400,200,300,150", Map::Mapped},
      {"a mapped window on the root framed by a manager that came",
       [&](State& s, Log&) { s.show(t0), s.mapped(false, t0); EXPECT_TRUE(s.reparented(false, t0)); }, "ma",
       Map::Mapped},
  };
  for (const Row& r : rows)
  {
    SCOPED_TRACE(r.what);
    Log log;
    State s(&log, kAt, false);
    r.steps(s, log);
    EXPECT_EQ(log.said, r.said);
    EXPECT_EQ(s.map(), r.end);
  }
}

// A map or withdrawal the manager leaves unanswered comes due once each kUnanswered;
// one answered never does. A window no manager has (a menu) is mapped, hidden and
// placed by the server at once, and is never looked at again for a manager's sake.
TEST(X11WindowState, TellsWhatIsOverdueAndLeavesAWindowNoManagerHasToTheServer)
{
  const auto t0 = State::Clock::now();
  const auto at = [&](int ms) { return t0 + std::chrono::milliseconds(ms); };
  // Whether overdue at 1.999 s, 2 s, 2 s again and 4 s.
  struct Row { const char* what; bool override; std::function<void(State&)> steps; std::string said; Map end;
               std::vector<int> overdue; };
  const std::vector<int> due = {0, 1, 0, 1}, never = {0, 0, 0, 0};
  const Row rows[] = {
      {"a map unanswered", false, [&](State& s) { s.show(t0); }, "m", Map::Asked, due},
      {"a withdrawal unanswered", false,
       [&](State& s) { s.show(t0), s.reparented(false, t0), s.stateIs(1, t0), s.hide(t0); }, "maw", Map::WithdrawAsked,
       due},
      {"a map answered", false, [&](State& s) { s.show(t0), s.mapped(false, t0); }, "ma", Map::Mapped, never},
      {"another client's map answers none", false, [&](State& s) { s.show(t0), s.mapped(true, t0); }, "m", Map::Asked,
       due},
      {"no manager's: shown", true, [&](State& s) { s.show(t0); }, "m", Map::Mapped, never},
      {"no manager's: shown and hidden", true, [&](State& s) { s.show(t0), s.hide(t0); }, "mw", Map::Withdrawn, never},
      {"no manager's: shown, then reparented and looked at as after a manager went", true,
       [&](State& s) {
         s.show(t0);
         EXPECT_FALSE(s.reparented(false, t0));
         EXPECT_FALSE(s.reparented(true, t0));
         s.resync({false, true, -1, kA}, false, t0);
       },
       "m", Map::Mapped, never},
  };
  for (const Row& r : rows)
  {
    SCOPED_TRACE(r.what);
    Log log;
    State s(&log, kAt, r.override);
    r.steps(s);
    EXPECT_EQ(log.said, r.said);
    EXPECT_EQ(s.map(), r.end);
    std::vector<int> overdue;
    for (int ms : {1999, 2000, 2000, 4000}) overdue.push_back(s.overdue(at(ms)));
    EXPECT_EQ(overdue, r.overdue);
  }
}

// Which reports of a window's place are news while places asked are outstanding.
TEST(X11WindowState, TakesAPlaceToldAsNewsOrOutOfDate)
{
  const auto t0 = State::Clock::now();
  struct Told { State::Place p; bool sizeOnly, news; };
  struct Row { const char* what; std::vector<State::Place> asked; std::vector<Told> told; State::Place end; };
  const Row rows[] = {
      {"answered in order: the older answer is out of date", {kA, kB}, {{kA, false, false}, {kB, false, true}}, kB},
      {"in a frame, the size alone answers no move", {kA}, {{kAt, true, false}, {kA, false, true}}, kA},
  };
  for (const Row& r : rows)
  {
    SCOPED_TRACE(r.what);
    Log log;
    State s(&log, kAt, false);
    s.show(t0);
    s.mapped(false, t0);
    for (const State::Place& p : r.asked) s.moveTo(p, t0);
    for (const Told& t : r.told) EXPECT_EQ(s.told(t.p, t.sizeOnly, t0), t.news);
    EXPECT_EQ(s.place(), r.end);
  }
  // A place left unanswered (refused) is dropped at the mark, and read from the server.
  Log log;
  State s(&log, kAt, false);
  s.moveTo(kA, t0);
  EXPECT_FALSE(s.placeUnanswered(t0 + std::chrono::milliseconds(1999)));
  EXPECT_TRUE(s.placeUnanswered(t0 + State::kUnanswered));
  EXPECT_TRUE(s.told(kAt, false, t0 + State::kUnanswered));
}

}  // namespace
