// The drive's own self-test, run by `hddiag check --self-test`: started on
// every chosen disk at once, waited for with its progress, and aborted on
// Ctrl-C. smartctl drives real disks; a simulated machine answers from its
// description.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/hddiag/check/check_facts.h"
#include "tools/hddiag/session/real_disks.h"

namespace hddiag {

// Where one running self-test stands.
struct SelfTestProgress {
    bool running = false;
    std::optional<ULONG> percentLeft;
    std::string error;  // the drive could not be asked
};

class SelfTestDriver {
public:
    virtual ~SelfTestDriver() = default;
    // False with why when the drive would not start it ("long" or "short").
    virtual bool Start(const DiskRow& row, const std::string& kind, std::string& why) = 0;
    virtual SelfTestProgress Poll(const DiskRow& row) = 0;
    virtual void Abort(const DiskRow& row) = 0;
    // The newest entry of the drive's self-test log, once it has ended.
    virtual SelfTestOutcome Result(const DiskRow& row, const std::string& kind) = 0;
    // How long to wait between polls, in milliseconds.
    virtual DWORD PollIntervalMs() const { return 10000; }
};

// Starts the self-test on every row, polls them until each has ended (or the
// interrupt is raised, which aborts those still running), and tells each
// poll to `progress` (disk, percent left). The outcomes, in row order.
std::vector<SelfTestOutcome> RunSelfTests(SelfTestDriver& driver, const std::vector<DiskRow>& rows,
                                          const std::string& kind, const std::atomic<bool>* interrupt,
                                          const std::function<void(const DiskRow&, const SelfTestProgress&)>& progress,
                                          const std::function<void(DWORD ms)>& sleep);

}  // namespace hddiag
