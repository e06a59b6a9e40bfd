// Leaks inside the JACK library are not ours: RtMidi's JACK objects leave two
// ring buffers behind when they find no server, and libjack's metadata store
// (Berkeley DB) keeps a few blocks for the life of the process.
extern "C" const char* __lsan_default_suppressions()
{
  return "leak:libjack.so\n"
         "leak:libdb-5.3.so\n";
}

// JACK's ring buffers are lock-free single-reader, single-writer queues in an
// uninstrumented library: ThreadSanitizer sees their copies as races. Named by the
// library's functions, not by the library: every callback of ours runs on a thread
// of it, and a race of ours there is reported (the port buffers' order between the
// callbacks is told by the callbacks, plug/JackBufferOrder.h). The process's JACK
// clients live to its end, so the library's own threads are not joined before it.
//
// Fontconfig, thread-safe by its own account, keeps its caches (the program's name,
// its configuration) behind atomic operations of an uninstrumented library too: the
// text engine's thread built ahead and the drawing thread both call it.
extern "C" const char* __tsan_default_suppressions()
{
  return "race:jack_ringbuffer_\n"
         "race:libfontconfig.so\n"
         "thread:libjack.so\n";
}
