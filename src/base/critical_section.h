// A critical section that is initialised and deleted with its owner, and a
// scope that holds it.
#pragma once

#include <windows.h>

namespace vtls {

class CriticalSection {
public:
    CriticalSection() noexcept { InitializeCriticalSectionEx(&m_section, 0, CRITICAL_SECTION_NO_DEBUG_INFO); }
    ~CriticalSection() { DeleteCriticalSection(&m_section); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void Enter() noexcept { EnterCriticalSection(&m_section); }
    void Leave() noexcept { LeaveCriticalSection(&m_section); }

private:
    CRITICAL_SECTION m_section;
};

class [[nodiscard]] ScopedLock {
public:
    explicit ScopedLock(CriticalSection& section) noexcept : m_section(&section), m_raw(nullptr) { section.Enter(); }
    explicit ScopedLock(CRITICAL_SECTION& raw) noexcept : m_section(nullptr), m_raw(&raw) { EnterCriticalSection(&raw); }
    ~ScopedLock() {
        if (m_section != nullptr) {
            m_section->Leave();
        } else {
            LeaveCriticalSection(m_raw);
        }
    }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    CriticalSection* m_section;
    CRITICAL_SECTION* m_raw;
};

}  // namespace vtls
