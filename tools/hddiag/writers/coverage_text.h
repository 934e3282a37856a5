// What a run did to each disk, in the words the summary and the page share.
#pragma once

#include <ostream>
#include <string>

#include "tools/hddiag/writers/disk_coverage.h"

namespace hddiag {

// "tested: 8 tests, 7 passed, 1 failed; 42011 reads of its 8226000 sectors",
// or "not tested: its bus is NVMe; ...; to test it: hddiag ... check 0".
std::string CoverageText(const DiskCoverage& disk);

// "12 reads took 500 ms or more, the slowest 797.5 ms (sector 123)"; empty
// without such a read.
std::string SlowReadsText(const DiskCoverage& disk, ULONGLONG slowReadNs);

// The tests sample; the full read reads every sector.
std::string SamplingText();

// Said when no test ran to its end (TestsRun is 0).
extern const char* const kNothingTested;

// run's summary of its disks: a line per disk with what was done to it and
// its health, a warning under one with slow reads, then whether anything
// was tested and that the tests sample.
void PrintDisksSummary(std::ostream& out, const RunResult& result);

}  // namespace hddiag
