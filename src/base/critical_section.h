// A critical section that is initialised and deleted with its owner, and a
// scope that holds it.
#pragma once

#include <windows.h>

namespace vtls {

class CriticalSection {
public:
    CriticalSection() noexcept { InitializeCriticalSectionEx(&section_, 0, CRITICAL_SECTION_NO_DEBUG_INFO); }
    ~CriticalSection() { DeleteCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void Enter() noexcept { EnterCriticalSection(&section_); }
    void Leave() noexcept { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};

class [[nodiscard]] ScopedLock {
public:
    explicit ScopedLock(CriticalSection& section) noexcept : section_(&section), raw_(nullptr) { section.Enter(); }
    explicit ScopedLock(CRITICAL_SECTION& raw) noexcept : section_(nullptr), raw_(&raw) { EnterCriticalSection(&raw); }
    ~ScopedLock() {
        if (section_ != nullptr) {
            section_->Leave();
        } else {
            LeaveCriticalSection(raw_);
        }
    }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    CriticalSection* section_;
    CRITICAL_SECTION* raw_;
};

}  // namespace vtls
