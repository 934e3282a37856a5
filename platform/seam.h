// A seam: the implementation of a platform interface that the component uses
// now. It is the platform's own unless a Scoped installs another for the
// scope of a test or of the front end; scopes nest and restore on exit.
#pragma once

namespace hdd {

template <typename Api, Api& (*pfnPlatform)()>
class Seam {
public:
    static Api& Current() { return s_pCurrent != nullptr ? *s_pCurrent : pfnPlatform(); }

    class Scoped {
    public:
        explicit Scoped(Api& api) : m_pPrevious(s_pCurrent) { s_pCurrent = &api; }
        ~Scoped() { s_pCurrent = m_pPrevious; }
        Scoped(const Scoped&) = delete;
        Scoped& operator=(const Scoped&) = delete;

    private:
        Api* m_pPrevious;
    };

private:
    static inline Api* s_pCurrent = nullptr;
};

}  // namespace hdd
