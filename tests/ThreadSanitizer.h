#pragma once
// Whether this build runs under ThreadSanitizer: the JACK tests that send through
// RtMidi skip then (see SKIP_SENDING_UNDER_THREAD_SANITIZER in the MIDI tests).

#if defined(__SANITIZE_THREAD__)
constexpr bool kThreadSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr bool kThreadSanitizer = true;
#else
constexpr bool kThreadSanitizer = false;
#endif
#else
constexpr bool kThreadSanitizer = false;
#endif
