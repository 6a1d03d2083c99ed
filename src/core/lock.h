#pragma once
// A lock over a critical section: the win32 thread model has no std::mutex.
#include <windows.h>

namespace Utils {

class Lock {
public:
    Lock() { ::InitializeCriticalSection(&section_); }
    ~Lock() { ::DeleteCriticalSection(&section_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    void Enter() { ::EnterCriticalSection(&section_); }
    void Leave() { ::LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};

class LockGuard {
public:
    explicit LockGuard(Lock& lock) : lock_(lock) { lock_.Enter(); }
    ~LockGuard() { lock_.Leave(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    Lock& lock_;
};

} // namespace Utils
