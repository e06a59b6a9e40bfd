#include "platform/appkit/X11WindowState.h"

#include <algorithm>

void AKX11WindowState::show(Clock::time_point now)
{
  mShown = true;
  advance(now);
}

void AKX11WindowState::hide(Clock::time_point now)
{
  mShown = false;
  advance(now);
}

// Takes the window on toward what the kit wants, as far as it goes with no answer
// outstanding. A window the kit holds hidden is never left mapped or framed: a manager
// may map it again after the withdrawal went out, and then let it go still mapped.
void AKX11WindowState::advance(Clock::time_point now)
{
  if ((mMap == Map::Mapped && !mShown) ||
      (mMap == Map::Withdrawn && !mOverride && (mServerMapped || !mOnRoot)))
    withdrawNow(now);  // a shown one too: mapped again, it is framed as new
  if (mPlaceHeld && mMap != Map::WithdrawAsked) sendPlace(true, true, now);
  if (mMap == Map::Withdrawn && mShown)
  {
    mRequests->map();
    // Without a manager the server maps it at once, and says so all the same.
    mMap = mOverride ? Map::Mapped : Map::Asked;
    mAskedAt = now;
  }
}

void AKX11WindowState::withdrawNow(Clock::time_point now)
{
  // One a manager has (framed, or given a state: also iconic) is ours again when it
  // lets go; the server unmaps any other at once.
  const bool waits = !mOverride && managed();
  mRequests->withdraw();
  mServerMapped = false;
  mMap = waits ? Map::WithdrawAsked : Map::Withdrawn;
  mAskedAt = now;
}

void AKX11WindowState::settle(Map to, Clock::time_point now)
{
  mMap = to;
  const bool maps = to == Map::Withdrawn && mShown;
  advance(now);
  mRequests->answered(maps && mMap != Map::Withdrawn);
}

void AKX11WindowState::sendPlace(bool moved, bool sized, Clock::time_point now)
{
  mPlaceHeld = false;
  mRequests->place(mPlace, moved, sized);
  if (mPlacing) mPlacing->at = now;
}

void AKX11WindowState::moveTo(const Place& p, Clock::time_point now)
{
  const bool moved = p[0] != mPlace[0] || p[1] != mPlace[1], sized = p[2] != mPlace[2] || p[3] != mPlace[3];
  if (!moved && !sized) return;
  // Outstanding from now: the place it had is out of date if told meanwhile.
  if (!mPlacing)
  {
    mPlacing.emplace();
    mPlacing->before.push_back(mPlace);
  }
  mPlacing->asked.push_back(p);
  if (mPlacing->asked.size() > 256) mPlacing->asked.pop_front();  // a manager stopped while the kit goes on
  mPlacing->moved |= moved;
  mPlacing->sized |= sized;
  mPlace = p;
  // While the manager still holds a hidden window the place waits for it to let go.
  if (mMap == Map::WithdrawAsked) mPlaceHeld = true;
  else sendPlace(moved, sized, now);
}

// A map is answered at the window's map (the server's, not another client's), or at the
// state a manager gives it; a withdrawal once the manager let go (ICCCM 4.1.4): its
// WM_STATE gone or withdrawn and the window back on the root, mapped or not. Before that
// a move would go into the frame, and a map be taken as the old window's.
void AKX11WindowState::check(Clock::time_point now)
{
  if (mMap == Map::Asked && (mWmState == kNormal || mWmState == kIconic)) settle(Map::Mapped, now);
  else if (mMap == Map::WithdrawAsked && mWmState <= 0 && mOnRoot) settle(Map::Withdrawn, now);
  else if (mMap == Map::Withdrawn) advance(now);
}

void AKX11WindowState::mapped(bool synthetic, Clock::time_point now)
{
  if (synthetic) return;
  mServerMapped = true;
  if (mMap == Map::Asked) settle(Map::Mapped, now);
  else if (mMap == Map::Withdrawn && !mShown) advance(now);
}

void AKX11WindowState::unmapped(bool synthetic)
{
  if (!synthetic) mServerMapped = false;
}

bool AKX11WindowState::reparented(bool toRoot, Clock::time_point now)
{
  const bool wasOnRoot = mOnRoot;
  mOnRoot = toRoot;
  // Let go while the manager still held it shown, or with the state it gave it: the
  // server takes a gone manager's windows back so. Framed while mapped on the root: only
  // a manager that came takes a window it never mapped.
  const bool held = mMap == Map::Mapped || mMap == Map::Asked ||
                    (mMap == Map::WithdrawAsked && (mWmState == kNormal || mWmState == kIconic));
  const bool sign = !mOverride && ((toRoot && !wasOnRoot && held) ||
                                   (!toRoot && wasOnRoot && mMap == Map::Mapped && mServerMapped));
  check(now);
  return sign;
}

void AKX11WindowState::stateIs(int wmState, Clock::time_point now)
{
  mWmState = wmState;
  check(now);
}

// While places asked are outstanding, a report of a place the window had before them is
// out of date (an answer to an older request, or a manager's report of the old place
// sent before it read the request); the answer to the last one ends them. A place
// never asked (the user's move or resize) is news. Only what the requests changed tells
// (a resize alone leaves the place to the server), and in a frame the size alone: the
// place was read after the event, so a report there answers no move. A
// manager that refuses says so by a report of the old place, which looks as one sent
// before it read the request: what it refused is read from the server at the mark
// (placeUnanswered).
bool AKX11WindowState::told(const Place& p, bool sizeOnly, Clock::time_point now)
{
  if (mPlacing && !mPlaceHeld && now - mPlacing->at >= kUnanswered) mPlacing.reset();
  bool news = true;
  if (mPlacing)
  {
    Placing& q = *mPlacing;
    const auto same = [&](const Place& a) {
      return (!q.sized || (a[2] == p[2] && a[3] == p[3])) && (!q.moved || sizeOnly || (a[0] == p[0] && a[1] == p[1]));
    };
    // Answered in the order asked: an answer to one that others follow is out of date,
    // and so is another report of it.
    const auto answers = std::find_if(q.asked.begin(), q.asked.end(), same);
    if (sizeOnly && !q.sized) news = p[2] != mPlace[2] || p[3] != mPlace[3];  // says nothing of a move
    else if (mPlaceHeld) news = answers == q.asked.end() && std::none_of(q.before.begin(), q.before.end(), same);
    else if (answers + 1 == q.asked.end())
      mPlacing.reset();
    else if (answers != q.asked.end())
    {
      q.before.insert(q.before.end(), q.asked.begin(), answers + 1);
      q.asked.erase(q.asked.begin(), answers + 1);
      news = false;
    }
    else
      news = std::none_of(q.before.begin(), q.before.end(), same);
  }
  if (news) mPlace = p;
  return news;
}

bool AKX11WindowState::overdue(Clock::time_point now)
{
  if ((mMap != Map::Asked && mMap != Map::WithdrawAsked) || now - mAskedAt < kUnanswered) return false;
  mAskedAt = now;  // looked at again after as long
  return true;
}

bool AKX11WindowState::placeUnanswered(Clock::time_point now)
{
  if (!mPlacing || mPlaceHeld || now - mPlacing->at < kUnanswered) return false;
  mPlacing.reset();
  return true;
}

AKX11WindowState::Clock::time_point AKX11WindowState::due() const
{
  auto next = Clock::time_point::max();
  if (mMap == Map::Asked || mMap == Map::WithdrawAsked) next = mAskedAt + kUnanswered;
  if (mPlacing && !mPlaceHeld) next = std::min(next, mPlacing->at + kUnanswered);
  return next;
}

void AKX11WindowState::resync(const Server& s, bool managerRuns, Clock::time_point now)
{
  if (mOverride) return;  // never a manager's
  // The parent stays as the events tell it: a report of the place in a frame may still
  // be on its way after the window left the frame.
  mServerMapped = s.mapped;
  mWmState = s.wmState;
  if (!managerRuns && s.onRoot && mWmState > 0)
  {
    // A state the gone manager left: a new one would take the window as its own.
    mRequests->forgetState();
    mWmState = -1;
  }
  if (!mPlacing && s.onRoot && s.at != mPlace)
  {
    mPlacing.emplace();
    mPlacing->before.push_back(s.at);
    mPlacing->asked.push_back(mPlace);
    mPlacing->moved = s.at[0] != mPlace[0] || s.at[1] != mPlace[1];
    mPlacing->sized = s.at[2] != mPlace[2] || s.at[3] != mPlace[3];
  }
  if (mPlacing) mPlaceHeld = true;  // the manager that went may never have passed it on
  // A manager that runs has what it framed or gave a state, and answers in its time.
  // What no manager has is the server's: a map it never got is asked again, a
  // withdrawal is done (a window mapped again, or shown, is then withdrawn or mapped by
  // advance). A withdrawal the new one may have adopted the window before is sent again.
  const bool held = !s.onRoot || mWmState == kNormal || mWmState == kIconic;
  Map to = mMap;
  if (mMap == Map::Asked && s.mapped) to = Map::Mapped;
  else if ((mMap == Map::Asked || mMap == Map::WithdrawAsked || (mMap == Map::Mapped && mShown && !s.mapped)) &&
           !held)
    to = Map::Withdrawn;
  else if (mMap == Map::WithdrawAsked && (s.mapped || !s.onRoot))
  {
    mRequests->withdraw();
    mAskedAt = now;
  }
  if (to != mMap) settle(to, now);
  else advance(now);
}
