#pragma once
// A shared library whose threads, or the callbacks it leaves with other libraries,
// may outlive the objects a host made of it keeps itself mapped from the first of
// them on: a host may unload it right after its last instance closed (a plug-in
// scan does), and nothing of ours may then run in unmapped code.

// Takes a reference on the library that holds this code, with RTLD_NODELETE, once
// a process; nothing in a program's own executable. False (said once in the log)
// when the library could not be found or opened.
bool KeepOwnCodeLoaded();
