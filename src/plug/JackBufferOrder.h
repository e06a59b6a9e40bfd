#pragma once
// A JACK port's buffer is written by one client's process callback and read by the
// next one's in the same cycle, then cleared by the first in the next cycle: the
// server orders the callbacks by means ThreadSanitizer cannot see. Each callback
// says so: it takes the buffer before its first access and hands it on after its
// last. Nothing at all outside ThreadSanitizer's builds; no wait in either.
#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
inline void TakeJackBuffer(void* buffer) { __tsan_acquire(buffer); }
inline void HandOnJackBuffer(void* buffer) { __tsan_release(buffer); }
#else
inline void TakeJackBuffer(void*) {}
inline void HandOnJackBuffer(void*) {}
#endif
