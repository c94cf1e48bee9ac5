#pragma once
// Marks a hand-over between threads that goes through Qt's event queue (a queued signal or a
// queued call). Qt orders it with locks inside the library, which a thread-sanitizer build cannot
// see, since Qt is not built with it: without these marks the sanitizer reports every value
// passed that way as a race. HandOff(key, post) runs the post (an emit or an invokeMethod) so
// that what the posting thread wrote before it counts as seen by the thread that then calls
// HandOffArrived(key) where the call arrives, and the writes made while posting (the copies of
// the arguments and of the call that Qt queues, into storage no other thread holds yet) are not
// recorded. Everything else both threads do stays checked. In any other build these are plain
// calls.

#include <utility>

#if defined(__SANITIZE_THREAD__)
#define BREVIO_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define BREVIO_THREAD_SANITIZER 1
#endif
#endif

#ifdef BREVIO_THREAD_SANITIZER
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
extern "C" void AnnotateIgnoreWritesBegin(const char* file, int line);
extern "C" void AnnotateIgnoreWritesEnd(const char* file, int line);
#endif

namespace brevio {

template <typename Post>
void HandOff([[maybe_unused]] const void* key, Post&& post)
{
#ifdef BREVIO_THREAD_SANITIZER
    __tsan_release(const_cast<void*>(key));
    AnnotateIgnoreWritesBegin(__FILE__, __LINE__);
    std::forward<Post>(post)();
    AnnotateIgnoreWritesEnd(__FILE__, __LINE__);
#else
    std::forward<Post>(post)();
#endif
}

// Where a posted call arrives (an event() override for QEvent::MetaCall), or after a blocking
// queued call returned with what the other thread wrote (that thread called HandOffDone).
inline void HandOffArrived([[maybe_unused]] const void* key)
{
#ifdef BREVIO_THREAD_SANITIZER
    __tsan_acquire(const_cast<void*>(key));
#endif
}

// At the end of a call that another thread waits for (a blocking queued call): what this thread
// wrote counts as seen once that thread calls HandOffArrived(key).
inline void HandOffDone([[maybe_unused]] const void* key)
{
#ifdef BREVIO_THREAD_SANITIZER
    __tsan_release(const_cast<void*>(key));
#endif
}

}  // namespace brevio
