#pragma once
// jackd2 (1.9.21) stops a closing client's notification thread by cancelling it
// at once, asynchronously. Should that thread be taking in another client's
// arrival or departure just then, it holds the library's process-wide lock of the
// clients' wake-up table, never released: every later opening, closing and
// notification of a JACK client in the process waits for ever. So the JACK clients
// of this process are closed apart: each closing waits until the openings under
// way have ended and the last opening or closing here is long enough past for the
// other clients to have taken it in, and no opening here starts while a closing
// has its turn. A spacing covers only what this process does: the server also
// tells every client of other programs' clients coming and going, and a loaded
// machine holds a notification thread up for longer than any spacing; so a
// closing also waits until every notification sent to the process's clients has
// been read (WaitForJackNotificationsTakenIn). Openings and
// closings take turns through a state of their own: no lock is held across a call
// into JACK. Other programs' clients come and go when they will; that no program
// can order.
//
// The closings run on one thread of the process's own, so that no caller waits
// for the spacing (a host closing many instances waited about 30 ms a client).
// A closing runs once no opening has come for the spacing, and at the latest at a
// turn fixed when it is handed over: openings coming faster than the spacing then
// wait for it, so closings never starve and the clients waiting to close stay few.
// That thread is joined, every closing handed to it done, when the process exits
// or the library is unloaded, and no code of ours runs on after; unless a closing
// is stuck (a server that no longer answers): no one waits more than 1.5 s for a
// closing, and what a stuck one and those after it hold is kept, never freed. The
// log says it once.

#include <functional>

// Marks the opening (or closing) of a JACK client by this process. Any thread.
void NoteJackClientChange();

// Held around the opening of a JACK client (jack_client_open, a port object of
// the port library made over JACK): waits while a closing has its turn (1.5 s at
// most), then marks the change when it ends. Holds no lock. Any thread but the
// closings' own.
class JackClientOpening
{
public:
  JackClientOpening();
  ~JackClientOpening();
  JackClientOpening(const JackClientOpening&) = delete;
  JackClientOpening& operator=(const JackClientOpening&) = delete;
};

// Hands close, the closing of a JACK client, to the closings' thread and returns
// at once; it runs once the last opening or closing in this process is far
// enough past, at its turn at the latest, one closing at a time, in the order
// handed over. close must not touch anything its caller may free afterwards. Any
// thread. Whether a client is closed at all is RetireJackClient's to say
// (JackServerEpoch.h).
void CloseJackClientApart(std::function<void()> close);

// Waits, 500 ms at most, until the process's JACK clients have read every
// notification their servers sent them, each notification thread is back waiting
// for the next, and a little longer: a closing cancels its client's notification
// thread at once, and one cancelled while taking a client's arrival or departure
// in holds the library's lock of the clients' wake-ups for ever (see above).
// Called in a closing's turn, right before the closing. Any thread.
void WaitForJackNotificationsTakenIn();

// Waits until every closing handed over before the call has run (a test server
// stopped only once its clients are gone; a closing whose caller needs it done),
// or until the closing under way is stuck: false then. Any thread but the
// closings' own.
bool WaitForJackClientClosings();
