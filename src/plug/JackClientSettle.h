#pragma once
// jackd2 (1.9.21) stops a closing client's notification thread by cancelling it
// at once, asynchronously. Should that thread be taking in another client's
// arrival or departure just then, it holds a lock of the library's own that is
// never released: every later opening, closing and notification of a JACK client
// in the process waits for ever. So the JACK clients of this process are closed
// apart: each closing waits until the last opening or closing here is long enough
// past for the other clients to have taken it in. Other programs' clients come
// and go when they will; that no program can order.

#include <functional>

// Marks the opening (or closing) of a JACK client by this process. Any thread.
void NoteJackClientChange();

// Runs close, the closing of a JACK client, once the last opening or closing in
// this process is far enough past, one closing at a time; then marks it. Any thread.
void CloseJackClientApart(const std::function<void()>& close);
