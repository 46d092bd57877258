// Clang's thread-safety attributes, so that `-Wthread-safety` checks which
// lock guards which field. Other compilers see nothing.

#ifndef TOVEX_PLATFORM_THREAD_ANNOTATIONS_H_
#define TOVEX_PLATFORM_THREAD_ANNOTATIONS_H_

#if defined(__clang__)
#define TOVEX_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define TOVEX_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) TOVEX_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY TOVEX_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) TOVEX_THREAD_ANNOTATION(guarded_by(x))
#define PT_GUARDED_BY(x) TOVEX_THREAD_ANNOTATION(pt_guarded_by(x))
#define REQUIRES(...) TOVEX_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) TOVEX_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) TOVEX_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) TOVEX_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define ASSERT_CAPABILITY(x) TOVEX_THREAD_ANNOTATION(assert_capability(x))

#endif  // TOVEX_PLATFORM_THREAD_ANNOTATIONS_H_
