// ORNEH_THREAD_SANITIZER: defined when the build runs under ThreadSanitizer
// (g++ says so with __SANITIZE_THREAD__, clang with __has_feature).
#ifndef ORNEH_BASE_SANITIZER_H
#define ORNEH_BASE_SANITIZER_H

#if defined(__SANITIZE_THREAD__)
#define ORNEH_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ORNEH_THREAD_SANITIZER 1
#endif
#endif

#endif
