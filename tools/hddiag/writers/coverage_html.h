// The report page's account of what run did to each disk.
#pragma once

#include <ostream>

#include "tools/hddiag/writers/output.h"

namespace hddiag {

// A table with a row per disk (tested or why not, reads, slow reads, the
// slowest, health), then whether anything was tested and that the tests sample.
void WriteCoverageSection(std::ostream& out, const RunResult& result);

}  // namespace hddiag
