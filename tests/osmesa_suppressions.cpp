// Mesa's off-screen renderer keeps the frame buffers it made in a list of its own
// for the life of the process (reused for the next context of the same size and
// format); LeakSanitizer reports them at exit. They are not ours to free.
extern "C" const char* __lsan_default_suppressions() { return "leak:libOSMesa.so\n"; }
