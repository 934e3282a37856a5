// The built-in machine: what a front end rehearses against when it is given
// no machine description.
#include <nlohmann/json.hpp>

#include "platform/sim/machine_description.h"

namespace hdd::sim {

namespace {

// What smartctl 7.3 says of disk 0: an ATA disk whose own assessment passed,
// with 8 pending sectors (attribute 197), for a front end's health warning.
const char* const kSystemDiskSmartctl = R"json({
 "json_format_version": [
  1,
  0
 ],
 "smartctl": {
  "version": [
   7,
   3
  ],
  "svn_revision": "5338",
  "platform_info": "x86_64-linux-6.1.0-57-amd64",
  "build_info": "(local build)",
  "argv": [
   "smartctl",
   "--json",
   "--info",
   "--health",
   "--attributes",
   "--log=error",
   "--nocheck=standby,3",
   "/dev/sda"
  ],
  "exit_status": 0
 },
 "local_time": {
  "time_t": 1796700000,
  "asctime": "Mon Dec  7 08:00:00 2026 UTC"
 },
 "device": {
  "name": "/dev/sda",
  "info_name": "/dev/sda [SAT]",
  "type": "sat",
  "protocol": "ATA"
 },
 "model_name": "SIMULATED HDD 500GB",
 "serial_number": "SIM0000500",
 "wwn": {
  "naa": 5,
  "oui": 0,
  "id": 1280
 },
 "firmware_version": "SIM1.0",
 "user_capacity": {
  "blocks": 976773168,
  "bytes": 500107862016
 },
 "logical_block_size": 512,
 "physical_block_size": 512,
 "rotation_rate": 7200,
 "in_smartctl_database": false,
 "smart_support": {
  "available": true,
  "enabled": true
 },
 "smart_status": {
  "passed": true
 },
 "ata_smart_attributes": {
  "revision": 16,
  "table": [
   {
    "id": 1,
    "name": "Raw_Read_Error_Rate",
    "value": 200,
    "worst": 200,
    "thresh": 51,
    "when_failed": "",
    "flags": {
     "value": 47,
     "string": "POSR-K ",
     "prefailure": true,
     "updated_online": true,
     "performance": false,
     "error_rate": false,
     "event_count": false,
     "auto_keep": false
    },
    "raw": {
     "value": 0,
     "string": "0"
    }
   },
   {
    "id": 3,
    "name": "Spin_Up_Time",
    "value": 175,
    "worst": 172,
    "thresh": 21,
    "when_failed": "",
    "flags": {
     "value": 39,
     "string": "POS--K ",
     "prefailure": true,
     "updated_online": true,
     "performance": false,
     "error_rate": false,
     "event_count": false,
     "auto_keep": false
    },
    "raw": {
     "value": 4250,
     "string": "4250"
    }
   },
   {
    "id": 4,
    "name": "Start_Stop_Count",
    "value": 99,
    "worst": 99,
    "thresh": 0,
    "when_failed": "",
    "flags": {
     "value": 50,
     "string": "-O--CK ",
     "prefailure": false,
     "updated_online": true,
     "performance": false,
     "error_rate": false,
     "event_count": false,
     "auto_keep": false
    },
    "raw": {
     "value": 1432,
     "string": "1432"
    }
   },
   {
    "id": 5,
    "name": "Reallocated_Sector_Ct",
    "value": 200,
    "worst": 200,
    "thresh": 140,
    "when_failed": "",
    "flags": {
     "value": 51,
     "string": "PO--CK ",
     "prefailure": true,
     "updated_online": true,
     "performance": false,
     "error_rate": false,
     "event_count": false,
     "auto_keep": false
    },
    "raw": {
     "value": 0,
     "string": "0"
    }
   },
   {
    "id": 9,
    "name": "Power_On_Hours",
    "value": 84,
    "worst": 84,
    "thresh": 0,
    "when_failed": "",
    "flags": {
     "value": 50,
     "string": "-O--CK ",
     "prefailure": false,
     "updated_online": true,
     "performance": false,
     "error_rate": false,
     "event_count": false,
     "auto_keep": false
    },
    "raw": {
     "value": 12034,
     "string": "12034"
    }
   },
   {
    "id": 12,
    "name": "Power_Cycle_Count",
    "value": 99,
    "worst": 99,
    "thresh": 0,
    "when_failed": "",
    "flags": {
     "value": 50,
     "string": "-O--CK ",
     "prefailure": false,
     "updated_online": true,
     "performance": false,
     "error_rate": false,
     "event_count": false,
     "auto_keep": false
    },
    "raw": {
     "value": 1398,
     "string": "1398"
    }
   },
   {
    "id": 187,
    "name": "Reported_Uncorrect",
    "value": 100,
    "worst": 100,
    "thresh": 0,
    "when_failed": "",
    "flags": {
     "value": 50,
     "string": "-O--CK ",
     "prefailure": false,
     "updated_online": true,
     "performance": false,
     "error_rate": false,
     "event_count": false,
     "auto_keep": false
    },
    "raw": {
     "value": 0,
     "string": "0"
    }
   },
   {
    "id": 188,
    "name": "Command_Timeout",
    "value": 100,
    "worst": 100,
    "thresh": 0,
    "when_failed": "",
    "flags": {
     "value": 50,
     "string": "-O--CK ",
     "prefailure": false,
     "updated_online": true,
     "performance": false,
     "error_rate": false,
     "event_count": false,
     "auto_keep": false
    },
    "raw": {
     "value": 0,
     "string": "0"
    }
   },
   {
    "id": 194,
    "name": "Temperature_Celsius",
    "value": 113,
    "worst": 98,
    "thresh": 0,
    "when_failed": "",
    "flags": {
     "value": 34,
     "string": "-O---K ",
     "prefailure": false,
     "updated_online": true,
     "performance": false,
     "error_rate": false,
     "event_count": false,
     "auto_keep": false
    },
    "raw": {
     "value": 34,
     "string": "34"
    }
   },
   {
    "id": 197,
    "name": "Current_Pending_Sector",
    "value": 200,
    "worst": 200,
    "thresh": 0,
    "when_failed": "",
    "flags": {
     "value": 50,
     "string": "-O--CK ",
     "prefailure": false,
     "updated_online": true,
     "performance": false,
     "error_rate": false,
     "event_count": false,
     "auto_keep": false
    },
    "raw": {
     "value": 8,
     "string": "8"
    }
   },
   {
    "id": 198,
    "name": "Offline_Uncorrectable",
    "value": 200,
    "worst": 200,
    "thresh": 0,
    "when_failed": "",
    "flags": {
     "value": 48,
     "string": "----CK ",
     "prefailure": false,
     "updated_online": true,
     "performance": false,
     "error_rate": false,
     "event_count": false,
     "auto_keep": false
    },
    "raw": {
     "value": 0,
     "string": "0"
    }
   },
   {
    "id": 199,
    "name": "UDMA_CRC_Error_Count",
    "value": 200,
    "worst": 200,
    "thresh": 0,
    "when_failed": "",
    "flags": {
     "value": 50,
     "string": "-O--CK ",
     "prefailure": false,
     "updated_online": true,
     "performance": false,
     "error_rate": false,
     "event_count": false,
     "auto_keep": false
    },
    "raw": {
     "value": 0,
     "string": "0"
    }
   }
  ]
 },
 "power_on_time": {
  "hours": 12034
 },
 "power_cycle_count": 1398,
 "temperature": {
  "current": 34
 },
 "ata_smart_error_log": {
  "summary": {
   "revision": 1,
   "count": 0
  }
 }
})json";

// Disk 2 is failing: its drive counts 24 pending sectors (and a few
// reallocated), its last extended self-test stopped at a read failure, and 24
// of its sectors cannot be read. SMART's own assessment still passes, and its
// one partition has no letter, so the component's tests never see it.
std::string FailingDiskSmartctl()
{
    nlohmann::json j = nlohmann::json::parse(kSystemDiskSmartctl);
    j["smartctl"]["exit_status"] = 64;  // errors in the self-test log
    j["smartctl"]["argv"].back() = "/dev/sdc";
    j["device"]["name"] = "/dev/sdc";
    j["device"]["info_name"] = "/dev/sdc [SAT]";
    j["model_name"] = "SIMULATED HDD 80GB";
    j["serial_number"] = "SIM0000080";
    j["wwn"]["id"] = 80;
    j["user_capacity"] = {{"blocks", 156301488}, {"bytes", 80026361856ull}};
    j["power_on_time"]["hours"] = 21040;
    for (nlohmann::json& a : j["ata_smart_attributes"]["table"]) {
        const int id = a["id"].get<int>();
        const int raw = id == 5 ? 6 : id == 9 ? 21040 : id == 197 || id == 198 ? 24 : -1;
        if (raw >= 0) {
            a["raw"] = {{"value", raw}, {"string", std::to_string(raw)}};
        }
    }
    j["ata_smart_self_test_log"] = nlohmann::json::parse(R"({
      "standard": { "revision": 1, "count": 2, "error_count_total": 1, "error_count_outdated": 0,
        "table": [
          { "type": { "value": 2, "string": "Extended offline" },
            "status": { "value": 121, "remaining_percent": 90, "string": "Completed: read failure", "passed": false },
            "lifetime_hours": 21010, "lba": 20000003 },
          { "type": { "value": 1, "string": "Short offline" },
            "status": { "value": 0, "string": "Completed without error", "passed": true },
            "lifetime_hours": 20000 } ] } })");
    return j.dump(2);
}

}  // namespace

MachineDescription BuiltinMachine()
{
    MachineDescription m;

    SimDisk system;
    system.bus = BusTypeSata;
    system.media = FixedMedia;
    system.model = "SIMULATED HDD 500GB";
    system.serial = "SIM0000500";
    system.wwn = "0x5000000000000500";
    system.cylinders = 60801;
    system.tracksPerCylinder = 255;
    system.sectorsPerTrack = 63;
    system.bytesPerSector = 512;
    system.size = 500107862016ull;
    system.partitions = {
        SimPartition{1, 1048576ull, 104857600000ull, L'C'},
        SimPartition{2, 104858648576ull, 395249106944ull, L'D'},
    };
    system.latency.model = LatencyModel::Hdd;
    // A weak area inside D: (51 MB, 300 ms a read), for a front end to find.
    system.slow = {SlowRange{600000000ull, 600099999ull, 300}};
    // In the form a machine file's inline smartctl object takes.
    system.smartctlJson = nlohmann::json::parse(kSystemDiskSmartctl).dump(2);
    m.disks.push_back(system);

    // A 7.5 GiB memory stick; its geometry covers what fits in whole cylinders.
    SimDisk stick;
    stick.bus = BusTypeUsb;
    stick.media = RemovableMedia;
    stick.model = "SIMULATED STICK 8GB";
    stick.serial = "SIM0000008";
    stick.cylinders = 979;
    stick.tracksPerCylinder = 255;
    stick.sectorsPerTrack = 63;
    stick.bytesPerSector = 512;
    stick.size = 8053063680ull;
    stick.partitions = {SimPartition{1, 1048576ull, 8053063680ull - 1048576ull, L'E'}};
    stick.latency.model = LatencyModel::Ssd;
    m.disks.push_back(stick);

    SimDisk failing;
    failing.bus = BusTypeSata;
    failing.media = FixedMedia;
    failing.model = "SIMULATED HDD 80GB";
    failing.serial = "SIM0000080";
    failing.wwn = "0x5000000000000050";
    failing.cylinders = 9729;
    failing.tracksPerCylinder = 255;
    failing.sectorsPerTrack = 63;
    failing.bytesPerSector = 512;
    failing.size = 80026361856ull;
    failing.partitions = {SimPartition{1, 1048576ull, 80026361856ull - 1048576ull, 0}};
    failing.latency.model = LatencyModel::Hdd;
    failing.unreadable = {SectorRange{20000000ull, 20000015ull}, SectorRange{90000000ull, 90000007ull}};
    // The drive retries around its bad spots: 0.8 s a read there.
    failing.slow = {SlowRange{19999000ull, 20001000ull, 800}, SlowRange{89999000ull, 90001000ull, 800}};
    failing.smartctlJson = FailingDiskSmartctl();
    failing.shortSelfTestEntry = nlohmann::json::parse(R"({ "type": { "value": 1, "string": "Short offline" },
      "status": { "value": 0, "string": "Completed without error", "passed": true }, "lifetime_hours": 21011 })")
                                     .dump(2);
    failing.extendedSelfTestEntry = nlohmann::json::parse(R"({ "type": { "value": 2, "string": "Extended offline" },
      "status": { "value": 121, "remaining_percent": 90, "string": "Completed: read failure", "passed": false },
      "lifetime_hours": 21012, "lba": 20000003 })")
                                        .dump(2);
    m.disks.push_back(failing);

    return m;
}

}  // namespace hdd::sim
