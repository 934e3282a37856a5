// docs/automation.md against the code it describes: the method table
// (DISPIDs, names, parameters), every named value in its tables (result
// codes, event kinds, mask bits), the export ordinals, the GUIDs, and the
// clients it shows, which must be the files in samples/clients.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <cwchar>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "drive/hdd_constants.h"
#include "object/hdd_guids.h"
#include "object/method_table.h"

namespace hdd {
namespace {

std::string ReadSource(const std::string& path)
{
    std::ifstream in(std::string(HDD_SOURCE_DIR) + "/" + path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Narrow(const wchar_t* text) { return std::string(text, text + std::wcslen(text)); }

// The cells of a table row "| a | b | c |", trimmed; empty for other lines.
std::vector<std::string> Cells(const std::string& line)
{
    std::vector<std::string> cells;
    if (line.size() < 2 || line.front() != '|' || line.back() != '|') {
        return cells;
    }
    std::string cell;
    for (size_t i = 1; i < line.size(); ++i) {
        if (line[i] == '|' && line[i - 1] != '\\') {
            const size_t first = cell.find_first_not_of(' ');
            cells.push_back(first == std::string::npos ? "" : cell.substr(first, cell.find_last_not_of(' ') - first + 1));
            cell.clear();
        } else {
            cell += line[i];
        }
    }
    return cells;
}

std::vector<std::vector<std::string>> Rows(const std::string& page)
{
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(page);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> cells = Cells(line);
        if (!cells.empty()) {
            rows.push_back(std::move(cells));
        }
    }
    return rows;
}

// "`x`" gives "x"; anything else "".
std::string Code(const std::string& cell)
{
    return cell.size() > 2 && cell.front() == '`' && cell.back() == '`' && cell.find('`', 1) == cell.size() - 1
               ? cell.substr(1, cell.size() - 2)
               : "";
}

class AutomationPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        page = ReadSource("docs/automation.md");
        ASSERT_FALSE(page.empty()) << "docs/automation.md not found under " << HDD_SOURCE_DIR;
        rows = Rows(page);
    }
    std::string page;
    std::vector<std::vector<std::string>> rows;
};

const char* TypeName(AutomationType type)
{
    switch (type) {
    case AutomationType::Bstr:
        return "BSTR";
    case AutomationType::Dispatch:
        return "IDispatch*";
    case AutomationType::Long:
        return "LONG";
    case AutomationType::ULong:
        return "ULONG";
    }
    return "?";
}

TEST_F(AutomationPage, MethodTableIsTheInterfaces)
{
    // Rows "| DISPID | `Method` | `[in] TYPE name`, ... | status |".
    std::vector<std::vector<std::string>> methods;
    for (const auto& cells : rows) {
        if (cells.size() == 4 && std::regex_match(cells[0], std::regex("[0-9]+")) &&
            Code(cells[1]).rfind("Dll", 0) != 0 && !Code(cells[1]).empty()) {
            methods.push_back(cells);
        }
    }
    ASSERT_EQ(methods.size(), kICHDDObjectMethodCount);
    for (size_t m = 0; m < methods.size(); ++m) {
        const MethodEntry& entry = kICHDDObjectMethods[m];
        SCOPED_TRACE(Narrow(entry.name));
        EXPECT_EQ(methods[m][0], std::to_string(entry.dispid));
        EXPECT_EQ(Code(methods[m][1]), Narrow(entry.name));
        std::string params;
        for (UINT p = 0; p < entry.ParamCount(); ++p) {
            const MethodParam& param = entry.params[p];
            params += p == 0 ? "" : ", ";
            params += param.direction == ParamDirection::In ? "`[in] " : "`[out, retval] ";
            params += std::string(TypeName(param.type)) + (param.direction == ParamDirection::In ? " " : "* ") +
                      Narrow(param.name) + "`";
        }
        EXPECT_EQ(methods[m][2], params.empty() ? "none" : params);
    }
}

TEST_F(AutomationPage, NamedValuesAreTheCodes)
{
    const std::map<std::string, LONGLONG> expected = {
        {"S_OK", S_OK},
        {"HDD_TEST_ABORTED", static_cast<ULONG>(HDD_TEST_ABORTED)},
        {"HDD_TEST_READ_ERROR", static_cast<ULONG>(HDD_TEST_READ_ERROR)},
        {"HDD_DRIVE_NOT_TESTABLE", static_cast<ULONG>(HDD_DRIVE_NOT_TESTABLE)},
        {"HDD_PARTITION_NOT_TESTABLE", static_cast<ULONG>(HDD_PARTITION_NOT_TESTABLE)},
        {"E_INVALIDARG", static_cast<ULONG>(E_INVALIDARG)},
        {"E_OUTOFMEMORY", static_cast<ULONG>(E_OUTOFMEMORY)},
        {"E_UNEXPECTED", static_cast<ULONG>(E_UNEXPECTED)},
        {"HDD_EVENT_PERCENT", HDD_EVENT_PERCENT},
        {"HDD_EVENT_MINUTES", HDD_EVENT_MINUTES},
        {"HDD_CALLBACK_TAG", HDD_CALLBACK_TAG},
        {"HDD_TEST_LINEAR", HDD_TEST_LINEAR},
        {"HDD_TEST_RANDOM", HDD_TEST_RANDOM},
        {"HDD_TEST_FUNNEL", HDD_TEST_FUNNEL},
        {"HDD_TEST_SURFACE", HDD_TEST_SURFACE},
    };
    // Rows "| `value` | `NAME` | ...".
    std::set<std::string> seen;
    for (const auto& cells : rows) {
        if (cells.size() < 2) {
            continue;
        }
        const std::string value = Code(cells[0]);
        const std::string name = Code(cells[1]);
        if (!std::regex_match(value, std::regex("0x[0-9A-F]+|[0-9]+")) ||
            !std::regex_match(name, std::regex("[A-Z][A-Z0-9_]+"))) {
            continue;
        }
        SCOPED_TRACE(name);
        const auto it = expected.find(name);
        ASSERT_NE(it, expected.end()) << "the page names a value the code does not have";
        EXPECT_EQ(std::stoll(value, nullptr, 0), it->second);
        seen.insert(name);
    }
    for (const auto& [name, value] : expected) {
        EXPECT_EQ(seen.count(name), 1u) << name << " has no row in the page";
    }
}

TEST_F(AutomationPage, ExportOrdinalsAreTheDefFiles)
{
    // "Name @N" in HDD.def; "| N | `Name` | ..." in the page.
    std::map<std::string, std::string> def;
    const std::string text = ReadSource("server/dll/HDD.def");
    const std::regex line("([A-Za-z]+) @([0-9]+)");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), line); it != std::sregex_iterator(); ++it) {
        def[(*it)[1]] = (*it)[2];
    }
    ASSERT_EQ(def.size(), 5u);
    std::map<std::string, std::string> page_exports;
    for (const auto& cells : rows) {
        if (cells.size() == 3 && Code(cells[1]).rfind("Dll", 0) == 0) {
            page_exports[Code(cells[1])] = cells[0];
        }
    }
    EXPECT_EQ(page_exports, def);
}

TEST_F(AutomationPage, GuidsAreTheComponents)
{
    std::set<std::string> component;
    for (const wchar_t* text : {HDD_CLSID_CHDDOBJECT_TEXT, HDD_LIBID_HDDLIB_TEXT, HDD_IID_ICHDDOBJECT_TEXT,
                                HDD_DIID_ICHDDOBJECTEVENTS_TEXT, HDD_APPID_TEXT}) {
        component.insert(Narrow(text));
    }
    std::set<std::string> shown;
    const std::regex guid(R"(\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\})");
    for (auto it = std::sregex_iterator(page.begin(), page.end(), guid); it != std::sregex_iterator(); ++it) {
        shown.insert(it->str());
    }
    EXPECT_EQ(shown, component);
}

TEST_F(AutomationPage, ClientsAreTheSampleFiles)
{
    // "<!-- file: PATH -->", then a fenced block holding the file. Read by
    // hand: the blocks are too long for std::regex's recursion.
    const std::string marker = "<!-- file: ";
    std::set<std::string> shown;
    for (size_t at = page.find(marker); at != std::string::npos; at = page.find(marker, at + 1)) {
        const size_t pathEnd = page.find(" -->\n```", at);
        ASSERT_NE(pathEnd, std::string::npos);
        const std::string path = page.substr(at + marker.size(), pathEnd - at - marker.size());
        SCOPED_TRACE(path);
        const size_t bodyStart = page.find('\n', pathEnd + 5) + 1;
        const size_t bodyEnd = page.find("\n```\n", bodyStart);
        ASSERT_NE(bodyEnd, std::string::npos);
        const std::string file = ReadSource(path);
        ASSERT_FALSE(file.empty());
        EXPECT_EQ(page.substr(bodyStart, bodyEnd + 1 - bodyStart), file) << "the page shows another text than the file";
        shown.insert(path);
    }
    EXPECT_EQ(shown, (std::set<std::string>{"samples/clients/client.cpp", "samples/clients/client.js",
                                            "samples/clients/client.vbs"}));
}

}  // namespace
}  // namespace hdd
