// SPDX-License-Identifier: Apache-2.0
// Locks that clang's thread-safety analysis (-Wthread-safety) can check.
//
// The standard library's mutex carries no annotations, so a class whose
// fields are shared between threads holds an `AnnotatedMutex`, marks those
// fields DRAVIK_GUARDED_BY(it), and takes it with `MutexLock`. Clang then
// refuses, at compile time, code that touches such a field without the lock.
// A condition is waited for with std::condition_variable_any on the
// MutexLock, in a loop whose test the analysis sees under the lock. Other
// compilers see plain std::mutex code.
#pragma once

#include <mutex>

#if defined(__clang__)
#define DRAVIK_THREAD_ATTRIBUTE(x) __attribute__((x))
#else
#define DRAVIK_THREAD_ATTRIBUTE(x)
#endif

#define DRAVIK_CAPABILITY(x) DRAVIK_THREAD_ATTRIBUTE(capability(x))
#define DRAVIK_SCOPED_CAPABILITY DRAVIK_THREAD_ATTRIBUTE(scoped_lockable)
#define DRAVIK_GUARDED_BY(x) DRAVIK_THREAD_ATTRIBUTE(guarded_by(x))
#define DRAVIK_PT_GUARDED_BY(x) DRAVIK_THREAD_ATTRIBUTE(pt_guarded_by(x))
#define DRAVIK_REQUIRES(...) DRAVIK_THREAD_ATTRIBUTE(requires_capability(__VA_ARGS__))
#define DRAVIK_ACQUIRE(...) DRAVIK_THREAD_ATTRIBUTE(acquire_capability(__VA_ARGS__))
#define DRAVIK_RELEASE(...) DRAVIK_THREAD_ATTRIBUTE(release_capability(__VA_ARGS__))
#define DRAVIK_EXCLUDES(...) DRAVIK_THREAD_ATTRIBUTE(locks_excluded(__VA_ARGS__))
#define DRAVIK_RETURN_CAPABILITY(x) DRAVIK_THREAD_ATTRIBUTE(lock_returned(x))
#define DRAVIK_NO_THREAD_SAFETY_ANALYSIS DRAVIK_THREAD_ATTRIBUTE(no_thread_safety_analysis)

/// A std::mutex the analysis knows as a lock.
class DRAVIK_CAPABILITY("mutex") AnnotatedMutex {
  public:
    void lock() DRAVIK_ACQUIRE() { m_mutex.lock(); }
    void unlock() DRAVIK_RELEASE() { m_mutex.unlock(); }

  private:
    std::mutex m_mutex;
};

/// Holds an AnnotatedMutex for a scope. It may be let go and taken again
/// inside the scope (a condition variable's wait does both).
class DRAVIK_SCOPED_CAPABILITY MutexLock {
  public:
    explicit MutexLock(AnnotatedMutex& mutex) DRAVIK_ACQUIRE(mutex) : m_mutex(mutex) {
        m_mutex.lock();
    }
    ~MutexLock() DRAVIK_RELEASE() {
        if (m_held) {
            m_mutex.unlock();
        }
    }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

    void lock() DRAVIK_ACQUIRE() {
        m_mutex.lock();
        m_held = true;
    }
    void unlock() DRAVIK_RELEASE() {
        m_held = false;
        m_mutex.unlock();
    }

  private:
    AnnotatedMutex& m_mutex;
    bool m_held = true;
};
