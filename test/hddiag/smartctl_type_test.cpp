// --smartctl-type DISK=TYPE: what is taken as smartctl's -d, what is refused,
// and which disk it applies to.
#include <gtest/gtest.h>

#include <sstream>

#include "tools/hddiag/options/smartctl_type.h"
#include "tools/hddiag/options/options.h"

namespace hddiag::testing {
namespace {

TEST(SmartctlType, TakesSmartctlsTypesAndRefusesTheRest)
{
    struct Row {
        std::string text;
        const char* disk;  // nullptr: refused
        const char* type;
        const char* message;  // part of the refusal
    };
    const Row rows[] = {
        {"0=sat", "0", "sat", ""},
        {"/dev/sdb=sat,12", "/dev/sdb", "sat,12", ""},
        {"sdc=usbjmicron,p,1", "sdc", "usbjmicron,p,1", ""},
        {"PhysicalDrive1=areca,3/1", "PhysicalDrive1", "areca,3/1", ""},
        {"2=intelliprop,1+sat", "2", "intelliprop,1+sat", ""},
        {"3=jmb39x-q,0", "3", "jmb39x-q,0", ""},
        {"/dev/disk/by-id/x=y=nvme", "/dev/disk/by-id/x", nullptr, "may hold only"},
        {"0", nullptr, nullptr, "needs DISK=TYPE"},
        {"=sat", nullptr, nullptr, "needs DISK=TYPE"},
        {"0=", nullptr, nullptr, "needs DISK=TYPE"},
        {"0=sat 12", nullptr, nullptr, "may hold only letters"},
        {"0=sat;reboot", nullptr, nullptr, "may hold only letters"},
        {"0=$(reboot)", nullptr, nullptr, "may hold only letters"},
        {"0=sat|x", nullptr, nullptr, "may hold only letters"},
        {"0=`x`", nullptr, nullptr, "may hold only letters"},
        {"0=sat\n", nullptr, nullptr, "may hold only letters"},
        {"0=-d", nullptr, nullptr, "after a first letter"},
        {"0=12", nullptr, nullptr, "after a first letter"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        SmartctlType parsed{"junk", "junk"};
        std::string error;
        const bool taken = ParseSmartctlType(row.text, parsed, error);
        EXPECT_EQ(taken, row.type != nullptr) << error;
        if (row.type != nullptr) {
            EXPECT_EQ(parsed.disk, row.disk);
            EXPECT_EQ(parsed.type, row.type);
        } else {
            EXPECT_NE(error.find(row.message), std::string::npos) << error;
            EXPECT_EQ(error.find('\n'), std::string::npos) << "the text is shown printable";
        }
    }
}

TEST(SmartctlType, AppliesToTheDiskItNames)
{
    DiskRow sda;
    sda.disk = 0;
    sda.device = "sda";
    sda.path = "/dev/sda";
    DiskRow sdb = sda;
    sdb.disk = 1;
    sdb.device = "sdb";
    sdb.path = "/dev/sdb";
    const std::vector<DiskRow> rows{sda, sdb};
    const std::vector<SmartctlType> types{{"1", "sat,12"}, {"/dev/sda", "usbjmicron"}};
    EXPECT_EQ(SmartctlTypeFor(types, sda), "usbjmicron");
    EXPECT_EQ(SmartctlTypeFor(types, sdb), "sat,12");
    EXPECT_EQ(SmartctlTypeFor({{"sdb", "nvme"}}, sdb), "nvme");
    EXPECT_EQ(SmartctlTypeFor({{"sdb", "nvme"}}, sda), "");

    std::string error;
    EXPECT_TRUE(CheckSmartctlTypes(types, rows, error)) << error;
    EXPECT_FALSE(CheckSmartctlTypes({{"sdz", "sat"}}, rows, error));
    EXPECT_EQ(error, "--smartctl-type sdz=sat: there is no disk 'sdz'");
}

TEST(SmartctlType, OnTheCommandLine)
{
    struct Row {
        std::vector<std::string> args;
        std::vector<std::pair<std::string, std::string>> types;  // empty: refused
        const char* message;
    };
    const Row rows[] = {
        {{"--smartctl-type", "1=sat,12", "--smartctl-type", "/dev/sdb=nvme", "info"},
         {{"1", "sat,12"}, {"/dev/sdb", "nvme"}},
         ""},
        {{"run", "--smartctl-type", "sda=usbjmicron,p,1", "0-1"}, {{"sda", "usbjmicron,p,1"}}, ""},
        {{"health", "--smartctl-type", "0=sat 12"}, {}, "hddiag: --smartctl-type 0=sat 12: the type may hold only"},
        {{"test", "linear", "0-1", "--smartctl-type", "0=sat"}, {}, "hddiag: --smartctl-type is for health, info and run"},
        {{"scan", "0", "--smartctl-type", "0=sat"}, {}, "hddiag: --smartctl-type is for health, info and run"},
    };
    for (const Row& row : rows) {
        std::string joined;
        for (const std::string& a : row.args) {
            joined += "[" + a + "]";
        }
        SCOPED_TRACE(joined);
        std::vector<const char*> argv{"hddiag"};
        for (const std::string& a : row.args) {
            argv.push_back(a.c_str());
        }
        std::ostringstream out;
        std::ostringstream err;
        const ParsedCommandLine parsed = ParseCommandLine(static_cast<int>(argv.size()), argv.data(), "builtin", out, err);
        EXPECT_EQ(parsed.proceed, !row.types.empty()) << err.str();
        if (row.types.empty()) {
            EXPECT_EQ(parsed.exitCode, kExitUsage);
            EXPECT_NE(err.str().find(row.message), std::string::npos) << err.str();
            continue;
        }
        std::vector<std::pair<std::string, std::string>> types;
        for (const SmartctlType& t : parsed.options.smartctlTypes) {
            types.emplace_back(t.disk, t.type);
        }
        EXPECT_EQ(types, row.types);
    }
}

}  // namespace
}  // namespace hddiag::testing
