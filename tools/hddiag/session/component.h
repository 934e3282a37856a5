// Getting hold of the component's object: the copy linked into hddiag (for a
// simulated machine, which only this process can see), or the installed one.
#pragma once

#include <memory>
#include <string>

#include "object/ichddobject.h"

namespace hddiag {

// One reference on the object, and whatever keeps the component loaded.
class Component {
public:
    virtual ~Component() = default;
    virtual ICHDDObject& Object() = 0;
};

// The object of the component linked into this program, made by its class
// object; null with a message on failure.
std::unique_ptr<Component> CreateLinkedComponent(std::string& error);

}  // namespace hddiag
