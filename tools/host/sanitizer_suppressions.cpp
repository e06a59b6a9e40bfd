// Leaks inside the JACK library are not ours: RtMidi's JACK objects leave two
// ring buffers behind when they find no server, and libjack's metadata store
// (Berkeley DB) keeps a few blocks for the life of the process.
extern "C" const char* __lsan_default_suppressions()
{
  return "leak:libjack.so\n"
         "leak:libdb-5.3.so\n";
}

// JACK's ring buffers are lock-free single-reader, single-writer queues in an
// uninstrumented library: ThreadSanitizer sees their copies as races. The process's
// JACK clients live to its end, so the library's own threads are not joined before it.
extern "C" const char* __tsan_default_suppressions()
{
  return "race:jack_ringbuffer_\n"
         "race:libjack.so\n"
         "thread:libjack.so\n";
}
