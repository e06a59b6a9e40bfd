#pragma once
// One top-level X window's side of the window manager's protocol (ICCCM 4.1.4, 4.1.5)
// for the X11 presenter: what the kit wants (shown, and where), what has been asked of
// the manager and not yet answered, and what the server told. A map or a withdrawal
// goes out only once the one before was answered (a map still on its way would be done
// after the hiding; a window hidden while still in its frame would be shown or moved
// there); the kit's wish is kept meanwhile and acted on at the answer. Nothing here
// waits or talks to the server: requests go out through Requests, and the presenter
// hands in what the server told, so every rule is tried without a server. Internal to
// the kit.

#include <array>
#include <chrono>
#include <deque>
#include <optional>
#include <vector>

// A window's places asked and not yet answered (x, y, width, height, oldest first),
// whether any moved or resized it, the places it had before them, and when the last went
// out. Outside the class: one nested in the class that holds it in an optional is not
// yet default-constructible there for every compiler.
struct AKX11Placing
{
  std::deque<std::array<int, 4>> asked;
  bool moved = false, sized = false;
  std::vector<std::array<int, 4>> before;
  std::chrono::steady_clock::time_point at;
};

class AKX11WindowState
{
public:
  using Clock = std::chrono::steady_clock;
  // x, y (the window's own corner on the root, y down), width, height.
  using Place = std::array<int, 4>;
  // How long a manager may leave a map, a withdrawal or a place unanswered before it is
  // taken not to answer it.
  static constexpr std::chrono::seconds kUnanswered{2};
  // WM_STATE's states (ICCCM 4.1.3.1); -1 stands for none.
  static constexpr int kNormal = 1, kIconic = 3;

  enum class Map { Withdrawn, Asked, Mapped, WithdrawAsked };

  // What the presenter sends for the window; each returns at once.
  class Requests
  {
  public:
    // The window's description for the manager, then the map (raised).
    virtual void map() = 0;
    // The unmap, and the synthetic unmap on the root that tells a manager the window is
    // gone for good.
    virtual void withdraw() = 0;
    // The place (the hints too).
    virtual void place(const Place& p, bool moved, bool sized) = 0;
    // Deletes a WM_STATE left by a manager that went.
    virtual void forgetState() = 0;
    // A map or a withdrawal was answered; mapsNow when a map went out on it.
    virtual void answered(bool mapsNow) = 0;

  protected:
    ~Requests() = default;
  };

  // What the server has of the window now, read when the manager went or changed.
  struct Server
  {
    bool mapped;
    bool onRoot;
    int wmState;
    Place at;  // its corner on the root and size
  };

  AKX11WindowState(Requests* requests, const Place& at, bool overrideRedirect)
      : mRequests(requests), mPlace(at), mOverride(overrideRedirect)
  {
  }

  // The kit shows or hides the window, or puts it elsewhere.
  void show(Clock::time_point now);
  void hide(Clock::time_point now);
  void moveTo(const Place& p, Clock::time_point now);

  // What the server told, in the order read: a map or unmap (synthetic: another
  // client's), the new parent, the window's WM_STATE.
  void mapped(bool synthetic, Clock::time_point now);
  void unmapped(bool synthetic);
  // True when a window the manager had (framed) is back on the root though its
  // withdrawal was not answered, or one mapped on the root is framed: the manager may
  // have gone or another come, and the presenter looks (resync).
  bool reparented(bool toRoot, Clock::time_point now);
  void stateIs(int wmState, Clock::time_point now);
  // A report of the window's place (sizeOnly: the window is in a frame, its place read
  // after the event): whether it is news, when it is the window's place from now.
  bool told(const Place& p, bool sizeOnly, Clock::time_point now);

  // A map or withdrawal unanswered for kUnanswered: true once each time it comes due.
  bool overdue(Clock::time_point now);
  // Places asked and unanswered for kUnanswered (dropped, or refused: ICCCM 4.1.5): they
  // are dropped and the presenter reads the window's place from the server (told, then
  // news).
  bool placeUnanswered(Clock::time_point now);
  // The next time overdue or placeUnanswered has something; max() for nothing.
  Clock::time_point due() const;
  // The manager may have gone or another come: what the server has is taken, and what
  // no running manager holds is asked again, of the new one or of the server; so is the
  // place of a window on the root the server has elsewhere (a gone manager's frame
  // moved). A manager's WM_STATE on a window on the root is forgotten when none runs.
  void resync(const Server& s, bool managerRuns, Clock::time_point now);

  Map map() const { return mMap; }
  bool shown() const { return mShown; }
  bool onRoot() const { return mOnRoot; }
  int wmState() const { return mWmState; }
  const Place& place() const { return mPlace; }
  bool placing() const { return mPlacing.has_value(); }

private:
  using Placing = AKX11Placing;

  void advance(Clock::time_point now);
  void settle(Map to, Clock::time_point now);
  void withdrawNow(Clock::time_point now);
  void sendPlace(bool moved, bool sized, Clock::time_point now);
  void check(Clock::time_point now);
  bool managed() const { return !mOnRoot || mWmState == kNormal || mWmState == kIconic; }

  Requests* mRequests;
  Place mPlace;
  bool mOverride;  // no manager's: the server maps and unmaps it at once
  Map mMap = Map::Withdrawn;
  bool mShown = false;
  bool mOnRoot = true;
  bool mServerMapped = false;  // as the server last said
  int mWmState = -1;
  bool mPlaceHeld = false;  // asked while the manager held the window: sent once it let go
  Clock::time_point mAskedAt;
  std::optional<Placing> mPlacing;
};
