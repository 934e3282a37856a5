#include "server/module.h"

namespace hdd {

CHDDModule& Module()
{
    static CHDDModule module;
    return module;
}

}  // namespace hdd
