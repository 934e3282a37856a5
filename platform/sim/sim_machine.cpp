// PLACEHOLDER: replaced by the simulated-machine work.
#include "platform/sim/sim_machine.h"
