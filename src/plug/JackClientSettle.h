#pragma once
// jackd2 (1.9.21) stops a closing client's notification thread by cancelling it
// at once, asynchronously. Should that thread be taking in another client's
// arrival or departure just then, it holds a lock of the library's own that is
// never released: every later opening, closing and notification of a JACK client
// in the process waits for ever. So the JACK clients of this process are closed
// apart: each closing waits until the last opening or closing here is long enough
// past for the other clients to have taken it in, and no opening here runs while
// a closing does. Other programs' clients come and go when they will; that no
// program can order.
//
// The closings run on one thread of the process's own, so that no caller waits
// for the spacing (a host closing many instances waited about 30 ms a client).
// That thread is joined, every closing handed to it done, when the process exits
// or the library is unloaded: no code of ours runs on after.

#include <functional>

// Marks the opening (or closing) of a JACK client by this process. Any thread.
void NoteJackClientChange();

// Held around the opening of a JACK client (jack_client_open, a port object of
// the port library made over JACK): waits while a closing runs, then marks the
// change when it ends. Any thread but the closings' own.
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
// enough past, one closing at a time, in the order handed over. close must not
// touch anything its caller may free afterwards. Any thread. Whether a client is
// closed at all is RetireJackClient's to say (JackServerEpoch.h).
void CloseJackClientApart(std::function<void()> close);

// Waits until every closing handed over before the call has run (a test server
// stopped only once its clients are gone; a closing whose caller needs it done).
// Any thread but the closings' own.
void WaitForJackClientClosings();
