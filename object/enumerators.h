// Enumerators over a snapshot of interface pointers (IEnumConnections,
// IEnumConnectionPoints). Each holds a reference on every item it lists and
// a lock on the server, so the server stays loaded while a client holds one.
#pragma once

#include <new>
#include <vector>

#include "platform/win32.h"
#include "object/server_lock.h"

namespace hdd {

// Traits: Item type, its IUnknown, and the interface identifier.
struct ConnectionItems {
    using Enum = IEnumConnections;
    using Item = CONNECTDATA;
    static IUnknown* Unknown(const Item& item) { return item.pUnk; }
    static const IID& Iid() { return IID_IEnumConnections; }
};

struct ConnectionPointItems {
    using Enum = IEnumConnectionPoints;
    using Item = IConnectionPoint*;
    static IUnknown* Unknown(const Item& item) { return item; }
    static const IID& Iid() { return IID_IEnumConnectionPoints; }
};

template <class Traits>
class CSnapshotEnum final : public Traits::Enum {
public:
    using Item = typename Traits::Item;
    using Enum = typename Traits::Enum;

    // A new enumerator with one reference, or null when memory ran out.
    static Enum* Create(const std::vector<Item>& items, size_t position = 0)
    {
        try {
            return new CSnapshotEnum(items, position);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override
    {
        if (ppvObject == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, Traits::Iid())) {
            *ppvObject = static_cast<Enum*>(this);
            AddRef();
            return S_OK;
        }
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_cRef; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG cRef = --m_cRef;
        if (cRef == 0) {
            delete this;
        }
        return cRef;
    }

    HRESULT STDMETHODCALLTYPE Next(ULONG celt, Item* rgelt, ULONG* pceltFetched) override
    {
        if (pceltFetched != nullptr) {
            *pceltFetched = 0;
        }
        if (rgelt == nullptr || (celt != 1 && pceltFetched == nullptr)) {
            return E_POINTER;
        }
        ULONG fetched = 0;
        while (fetched < celt && m_position < m_items.size()) {
            rgelt[fetched] = m_items[m_position++];
            Traits::Unknown(rgelt[fetched])->AddRef();  // the caller's reference
            ++fetched;
        }
        if (pceltFetched != nullptr) {
            *pceltFetched = fetched;
        }
        return fetched == celt ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override
    {
        const size_t left = m_items.size() - m_position;
        if (celt > left) {
            m_position = m_items.size();
            return S_FALSE;
        }
        m_position += celt;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Reset() override
    {
        m_position = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(Enum** ppEnum) override
    {
        if (ppEnum == nullptr) {
            return E_POINTER;
        }
        *ppEnum = Create(m_items, m_position);
        return *ppEnum != nullptr ? S_OK : E_OUTOFMEMORY;
    }

private:
    CSnapshotEnum(const std::vector<Item>& items, size_t position) : m_items(items), m_position(position)
    {
        for (const Item& item : m_items) {
            Traits::Unknown(item)->AddRef();
        }
        LockServer();
    }
    ~CSnapshotEnum()
    {
        for (const Item& item : m_items) {
            Traits::Unknown(item)->Release();
        }
        UnlockServer();
    }

    ULONG m_cRef = 1;
    std::vector<Item> m_items;
    size_t m_position;
};

}  // namespace hdd
