#pragma once
#include <windows.h>

#include <memory>

namespace ROVodi {

// Recursive lock on a platform critical section: the owning thread may lock it again,
// and every lock needs its own unlock.
class crCriticalMutex {
public:
    crCriticalMutex();
    crCriticalMutex(const crCriticalMutex&) = delete;
    crCriticalMutex& operator=(const crCriticalMutex&) = delete;
    virtual ~crCriticalMutex();

    void lock();
    void unlock();

private:
    std::unique_ptr<CRITICAL_SECTION> m_section;
};

// Holds a crCriticalMutex for the lifetime of the guard, so every way out of a scope,
// an exception included, releases it.
class ScopedLock {
public:
    explicit ScopedLock(crCriticalMutex& mutex) : m_mutex(&mutex) { m_mutex->lock(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;
    ~ScopedLock() { m_mutex->unlock(); }

private:
    crCriticalMutex* m_mutex;
};

}  // namespace ROVodi
