// The disks' health for people (a table) and as JSON.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>
#include <vector>

#include "tools/hddiag/health/disk_health.h"
#include "tools/hddiag/session/real_disks.h"

namespace hddiag {

// One line per disk: its identity, the verdict (or why there is none),
// temperature, power-on hours and the reasons; then each disk's latest
// self-tests and any notes on the output.
void PrintHealthTable(std::ostream& out, const std::vector<DiskRow>& rows, const std::vector<DiskHealth>& health);

nlohmann::ordered_json HealthJson(const std::vector<DiskHealth>& health);

// The reasons, what the note rules found and the note, or the note alone
// when there is no verdict, as one text.
std::string HealthWhy(const DiskHealth& health);

}  // namespace hddiag
