// The methods of ICHDDObject are written in three places: the method table the
// type library is built from, the C++ interface, and HDD.idl. The compiler
// holds the C++ member types to the table; these tests hold the interface's
// slot order, its declarations and HDD.idl to it, read from the sources.
#include <gtest/gtest.h>

#include <cctype>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "object/method_table.h"

namespace hdd {
namespace {

// ---- a reader for "[attributes] HRESULT Name([attributes] type name, ...);" ----

struct Attribute {
    std::string key;
    std::string value;  // id(1): "1"; helpstring("x"): "x"; in: ""
};

struct Declaration {
    std::vector<Attribute> attributes;
    std::string type;  // one blank between words, none before '*'
    std::string name;
};

struct Method {
    std::vector<Attribute> attributes;
    std::string name;
    std::vector<Declaration> params;
};

std::string Trim(std::string_view text)
{
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1));
}

// Splits at `separator` where it stands outside brackets, parentheses and quotes.
std::vector<std::string> SplitTopLevel(std::string_view text, char separator)
{
    std::vector<std::string> parts;
    int depth = 0;
    bool quoted = false;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && (c == '(' || c == '[')) {
            ++depth;
        } else if (!quoted && (c == ')' || c == ']')) {
            --depth;
        } else if (!quoted && depth == 0 && c == separator) {
            parts.push_back(Trim(text.substr(start, i - start)));
            start = i + 1;
        }
    }
    parts.push_back(Trim(text.substr(start)));
    return parts;
}

// Position of the bracket that closes the one at `open`, or npos.
size_t Closing(std::string_view text, size_t open)
{
    int depth = 0;
    for (size_t i = open; i < text.size(); ++i) {
        if (text[i] == '(' || text[i] == '[') {
            ++depth;
        } else if ((text[i] == ')' || text[i] == ']') && --depth == 0) {
            return i;
        }
    }
    return std::string_view::npos;
}

// Takes a leading "[...]" off `text` and returns its attributes.
std::vector<Attribute> TakeAttributes(std::string& text)
{
    std::vector<Attribute> attributes;
    if (text.empty() || text[0] != '[') {
        return attributes;
    }
    const size_t close = Closing(text, 0);
    for (const std::string& part : SplitTopLevel(std::string_view(text).substr(1, close - 1), ',')) {
        const size_t paren = part.find('(');
        if (paren == std::string::npos) {
            attributes.push_back({part, {}});
            continue;
        }
        std::string value = Trim(std::string_view(part).substr(paren + 1, part.rfind(')') - paren - 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        attributes.push_back({Trim(std::string_view(part).substr(0, paren)), value});
    }
    text = Trim(std::string_view(text).substr(close + 1));
    return attributes;
}

Declaration ParseDeclaration(std::string text)
{
    Declaration declaration;
    declaration.attributes = TakeAttributes(text);
    size_t nameStart = text.size();
    while (nameStart > 0 && (std::isalnum(static_cast<unsigned char>(text[nameStart - 1])) || text[nameStart - 1] == '_')) {
        --nameStart;
    }
    declaration.name = text.substr(nameStart);
    std::istringstream words(text.substr(0, nameStart));
    for (std::string word; words >> word;) {
        declaration.type += (declaration.type.empty() || word == "*" ? "" : " ") + word;
    }
    return declaration;
}

// The HRESULT methods declared in the block that follows `opening`.
std::vector<Method> ParseInterface(const std::string& source, std::string_view opening)
{
    std::vector<Method> methods;
    const size_t at = source.find(opening);
    const size_t open = at == std::string::npos ? at : source.find('{', at);
    const size_t close = open == std::string::npos ? open : source.find("\n};", open);
    if (close == std::string::npos) {
        return methods;
    }
    std::string body;
    std::istringstream lines(source.substr(open + 1, close - open - 1));
    for (std::string line; std::getline(lines, line);) {
        body += line.substr(0, line.find("//")) + "\n";
    }
    for (std::string statement : SplitTopLevel(body, ';')) {
        Method method;
        method.attributes = TakeAttributes(statement);
        const size_t result = statement.find("HRESULT ");
        const size_t paren = statement.find('(');
        if (result == std::string::npos || paren == std::string::npos) {
            continue;
        }
        std::string name = Trim(std::string_view(statement).substr(result + 8, paren - result - 8));
        if (name.rfind("STDMETHODCALLTYPE ", 0) == 0) {
            name = Trim(std::string_view(name).substr(18));
        }
        method.name = name;
        const std::string params = statement.substr(paren + 1, Closing(statement, paren) - paren - 1);
        for (const std::string& param : SplitTopLevel(params, ',')) {
            if (!param.empty()) {
                method.params.push_back(ParseDeclaration(param));
            }
        }
        methods.push_back(method);
    }
    return methods;
}

// ---- what the table says, spelled the way each source spells it -------------------

std::string Narrow(const wchar_t* text)
{
    std::string narrow;
    for (; *text != L'\0'; ++text) {
        narrow += static_cast<char>(*text);
    }
    return narrow;
}

std::string Spelling(const MethodParam& param, const char* const (&valueSpellings)[4])
{
    const std::string value = valueSpellings[static_cast<int>(param.type)];
    return param.direction == ParamDirection::In ? value : value + "*";
}

// Indexed by AutomationType.
constexpr const char* kIdlTypes[4] = {"BSTR", "IDispatch*", "long", "unsigned long"};
constexpr const char* kCppTypes[4] = {"BSTR", "IDispatch*", "LONG", "ULONG"};

std::vector<std::string> Keys(const std::vector<Attribute>& attributes)
{
    std::vector<std::string> keys;
    for (const Attribute& attribute : attributes) {
        keys.push_back(attribute.key);
    }
    return keys;
}

std::string ReadSource(const std::string& relative)
{
    std::ifstream in(std::string(HDD_SOURCE_DIR) + "/" + relative, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// ---- the tests -------------------------------------------------------------------

// The IDL file and the C++ header, each read as text and held to the table:
// the same methods in the same order, the same parameters by name and type,
// and in the IDL also the DISPIDs, help strings and directions.
TEST(MethodTable, HddIdlAndTheCppInterfaceDeclareTheTablesMethods)
{
    const struct {
        const char* file;
        const char* opening;
        const char* const (&types)[4];
        bool idl;
    } sources[] = {
        {"server/dll/HDD.idl", "interface ICHDDObject : IDispatch", kIdlTypes, true},
        {"object/ichddobject.h", "struct ICHDDObject : public IDispatch", kCppTypes, false},
    };
    for (const auto& source : sources) {
        SCOPED_TRACE(source.file);
        const std::vector<Method> methods = ParseInterface(ReadSource(source.file), source.opening);
        ASSERT_EQ(methods.size(), kICHDDObjectMethodCount);
        for (UINT i = 0; i < kICHDDObjectMethodCount; ++i) {
            const MethodEntry& entry = kICHDDObjectMethods[i];
            const Method& method = methods[i];
            SCOPED_TRACE(Narrow(entry.name));
            EXPECT_EQ(method.name, Narrow(entry.name));
            if (source.idl) {
                const std::vector<std::string> keys = {"id", "helpstring"};
                ASSERT_EQ(Keys(method.attributes), keys);
                EXPECT_EQ(method.attributes[0].value, std::to_string(entry.dispid));
                EXPECT_EQ(method.attributes[1].value, "method " + Narrow(entry.name));
            }
            ASSERT_EQ(method.params.size(), entry.ParamCount());
            for (UINT p = 0; p < entry.ParamCount(); ++p) {
                SCOPED_TRACE(p);
                const MethodParam& expected = entry.params[p];
                EXPECT_EQ(method.params[p].name, Narrow(expected.name));
                EXPECT_EQ(method.params[p].type, Spelling(expected, source.types));
                if (source.idl) {
                    const std::vector<std::string> direction =
                        expected.direction == ParamDirection::In ? std::vector<std::string>{"in"}
                                                                 : std::vector<std::string>{"out", "retval"};
                    EXPECT_EQ(Keys(method.params[p].attributes), direction);
                }
            }
        }
    }
}

// Where a pointer to a virtual member function points, in the C++ ABI of both
// builds (g++): one more than the byte offset of its vtable slot.
template <class Pointer>
ptrdiff_t VtableOffset(Pointer pointer)
{
    static_assert(sizeof(Pointer) == 2 * sizeof(ptrdiff_t));
    ptrdiff_t words[2] = {};
    std::memcpy(words, &pointer, sizeof words);
    return words[0] - 1;
}

// The table's order is the interface's slot order, after IDispatch's seven:
// the type library gives method i the vtable offset (7 + i) pointers.
TEST(MethodTable, IsTheInterfacesSlotOrder)
{
    std::vector<std::string> names;
    std::vector<ptrdiff_t> offsets;
    std::apply(
        [&](const auto&... member) {
            (names.push_back(member.name), ...);
            (offsets.push_back(VtableOffset(member.pointer)), ...);
        },
        kICHDDObjectMembers);
    for (UINT i = 0; i < kICHDDObjectMethodCount; ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(offsets[i], static_cast<ptrdiff_t>((7 + i) * sizeof(void*)));
    }
}

}  // namespace
}  // namespace hdd
