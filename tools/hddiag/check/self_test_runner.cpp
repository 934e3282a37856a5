#include "tools/hddiag/check/self_test_runner.h"

namespace hddiag {

namespace {

const char* KindName(const std::string& kind) { return kind == "long" ? "extended" : "short"; }

}  // namespace

std::vector<SelfTestOutcome> RunSelfTests(SelfTestDriver& driver, const std::vector<DiskRow>& rows,
                                          const std::string& kind, const std::atomic<bool>* interrupt,
                                          const std::function<void(const DiskRow&, const SelfTestProgress&)>& progress,
                                          const std::function<void(DWORD ms)>& sleep)
{
    std::vector<SelfTestOutcome> outcomes(rows.size());
    std::vector<bool> running(rows.size(), false);
    for (size_t i = 0; i < rows.size(); ++i) {
        outcomes[i].asked = true;
        outcomes[i].kind = KindName(kind);
        std::string why;
        if (driver.Start(rows[i], kind, why)) {
            running[i] = true;
        } else {
            outcomes[i].note = why;
        }
    }
    const auto interrupted = [interrupt] { return interrupt != nullptr && interrupt->load(); };
    for (bool any = true; any;) {
        any = false;
        for (size_t i = 0; i < rows.size(); ++i) {
            if (!running[i]) {
                continue;
            }
            if (interrupted()) {
                driver.Abort(rows[i]);
                running[i] = false;
                outcomes[i].note = "aborted on interrupt";
                continue;
            }
            const SelfTestProgress p = driver.Poll(rows[i]);
            progress(rows[i], p);
            if (!p.error.empty()) {
                running[i] = false;
                outcomes[i].note = p.error;
            } else if (!p.running) {
                running[i] = false;
                outcomes[i] = driver.Result(rows[i], kind);
                outcomes[i].asked = true;
            } else {
                any = true;
            }
        }
        if (any) {
            // Wait in short steps so that Ctrl-C is heard at once.
            for (DWORD waited = 0; waited < driver.PollIntervalMs() && !interrupted(); waited += 100) {
                sleep(100);
            }
        }
    }
    return outcomes;
}

}  // namespace hddiag
