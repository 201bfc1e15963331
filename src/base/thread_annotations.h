// Clang's thread-safety attributes under short names; other compilers see
// nothing. The clang build of the test command checks them (-Wthread-safety).
#ifndef ORNEH_BASE_THREAD_ANNOTATIONS_H
#define ORNEH_BASE_THREAD_ANNOTATIONS_H

#if defined(__clang__)
#define ORNEH_TSA(x) __attribute__((x))
#else
#define ORNEH_TSA(x)
#endif

#define CAPABILITY(name) ORNEH_TSA(capability(name))
#define SCOPED_CAPABILITY ORNEH_TSA(scoped_lockable)
#define GUARDED_BY(lock) ORNEH_TSA(guarded_by(lock))
#define PT_GUARDED_BY(lock) ORNEH_TSA(pt_guarded_by(lock))
#define REQUIRES(...) ORNEH_TSA(requires_capability(__VA_ARGS__))
#define ACQUIRE(...) ORNEH_TSA(acquire_capability(__VA_ARGS__))
#define RELEASE(...) ORNEH_TSA(release_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) ORNEH_TSA(try_acquire_capability(__VA_ARGS__))
#define EXCLUDES(...) ORNEH_TSA(locks_excluded(__VA_ARGS__))
#define NO_THREAD_SAFETY_ANALYSIS ORNEH_TSA(no_thread_safety_analysis)

#endif
