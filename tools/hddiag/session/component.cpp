#include "tools/hddiag/session/component.h"

#include "object/hdd_guids.h"
#include "server/module.h"
#include "tools/hddiag/session/result_codes.h"

namespace hddiag {

namespace {

class LinkedComponent final : public Component {
public:
    explicit LinkedComponent(ICHDDObject* pObject) : m_pObject(pObject) {}
    ~LinkedComponent() override { m_pObject->Release(); }
    ICHDDObject& Object() override { return *m_pObject; }

private:
    ICHDDObject* m_pObject;
};

}  // namespace

std::unique_ptr<Component> CreateLinkedComponent(std::string& error)
{
    // The same way an installed server hands it out: its class object.
    IClassFactory* pFactory = nullptr;
    HRESULT hr = hdd::Module().GetClassObject(&pFactory);
    ICHDDObject* pObject = nullptr;
    if (SUCCEEDED(hr)) {
        hr = pFactory->CreateInstance(nullptr, IID_ICHDDObject, reinterpret_cast<void**>(&pObject));
        pFactory->Release();
    }
    if (FAILED(hr) || pObject == nullptr) {
        error = "the class object failed with " + ResultCodeName(hr);
        return nullptr;
    }
    return std::make_unique<LinkedComponent>(pObject);
}

}  // namespace hddiag
