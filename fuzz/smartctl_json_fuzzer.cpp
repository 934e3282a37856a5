// smartctl's JSON output as hddiag reads it: any text gives a state, and a
// disk that was read gets a verdict whose reasons match it, a failed
// self-test among them; every form the health is written in (table, JSON,
// metrics, page) takes the result.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "fuzz/fuzz_support.h"
#include "tools/hddiag/health/health_html.h"
#include "tools/hddiag/health/health_metrics.h"
#include "tools/hddiag/health/health_output.h"
#include "tools/hddiag/health/self_test.h"
#include "tools/hddiag/health/smartctl_json.h"

using namespace hddiag;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const DiskHealth h = HealthFromSmartctl(0, text, std::nullopt);
    // A verdict other than good always says why; one that was not read has none.
    FUZZ_CHECK(h.state == HealthState::Read || h.reasons.empty());
    FUZZ_CHECK(h.state != HealthState::Read || (h.verdict == Verdict::Good) == h.reasons.empty());
    FUZZ_CHECK(h.state == HealthState::Read || !h.note.empty());
    // Only a disk that was read has rules' notes; a self-test failure that
    // stands makes it failing, and the log's entries are of known results.
    FUZZ_CHECK(h.state == HealthState::Read || h.noted.empty());
    if (h.state == HealthState::Read && h.reading.selfTests) {
        FUZZ_CHECK(StandingFailures(*h.reading.selfTests).empty() || h.verdict == Verdict::Failing);
        for (const SelfTestEntry& e : h.reading.selfTests->entries) {
            FUZZ_CHECK(std::string(SelfTestResultName(e.result)) != "?" && std::string(SelfTestKindName(e.kind)) != "?");
        }
    }

    DiskRow row;
    row.device = "sda";
    std::vector<DiskRow> rows{row};
    std::vector<DiskHealth> health{h};
    std::ostringstream table, page, metrics;
    PrintHealthTable(table, rows, health);
    WriteHealthSection(page, rows, health);
    WriteHealthMetrics(metrics, rows, health, {});
    const std::string m = metrics.str();
    FUZZ_CHECK(m.size() >= 6 && m.compare(m.size() - 6, 6, "# EOF\n") == 0);
    // One sample or comment per line: no newline escapes a label value.
    std::istringstream lines(m);
    for (std::string line; std::getline(lines, line);) {
        FUZZ_CHECK(line.rfind("# ", 0) == 0 || line.rfind("hddiag_", 0) == 0);
    }
    (void)HealthJson(health).dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    return 0;
}
