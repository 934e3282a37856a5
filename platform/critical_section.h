// A critical section whose initialisation can fail and says so (on Windows a
// CRITICAL_SECTION, elsewhere a mutex), so the module can refuse to load.
#pragma once

namespace hdd {

class CriticalSection {
public:
    CriticalSection() = default;
    ~CriticalSection() { Term(); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    bool Init();  // false when it cannot be initialised
    void Term();
    bool IsInitialized() const { return m_pImpl != nullptr; }
    void Enter();
    void Leave();

private:
    void* m_pImpl = nullptr;
};

class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CriticalSection& cs) : m_cs(cs) { m_cs.Enter(); }
    ~CriticalSectionLock() { m_cs.Leave(); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CriticalSection& m_cs;
};

}  // namespace hdd
