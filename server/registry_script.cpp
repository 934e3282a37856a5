#include "server/registry_script.h"

#include "server/text_compare.h"

namespace hdd {

namespace {

struct Token {
    enum class Kind { Word, Quoted, Open, Close, Equals, End } kind = Kind::End;
    std::wstring text;
};

class Tokenizer {
public:
    explicit Tokenizer(const std::wstring& text) : m_text(text) {}

    // False on an unterminated quoted string.
    bool Next(Token& token)
    {
        while (m_pos < m_text.size() && std::iswspace(m_text[m_pos])) {
            ++m_pos;
        }
        token.text.clear();
        if (m_pos >= m_text.size()) {
            token.kind = Token::Kind::End;
            return true;
        }
        if (m_text[m_pos] == L'\'') {
            token.kind = Token::Kind::Quoted;
            for (++m_pos; m_pos < m_text.size(); ++m_pos) {
                if (m_text[m_pos] == L'\'') {
                    if (m_pos + 1 < m_text.size() && m_text[m_pos + 1] == L'\'') {
                        token.text += L'\'';
                        ++m_pos;
                        continue;
                    }
                    ++m_pos;
                    return true;
                }
                token.text += m_text[m_pos];
            }
            return false;
        }
        // A bare word runs to the next blank; "{", "}" and "=" standing alone
        // are punctuation, so a key named {guid} is a word.
        const size_t start = m_pos;
        while (m_pos < m_text.size() && !std::iswspace(m_text[m_pos]) && m_text[m_pos] != L'\'') {
            ++m_pos;
        }
        token.text = m_text.substr(start, m_pos - start);
        token.kind = token.text == L"{"   ? Token::Kind::Open
                     : token.text == L"}" ? Token::Kind::Close
                     : token.text == L"=" ? Token::Kind::Equals
                                          : Token::Kind::Word;
        return true;
    }

private:
    const std::wstring& m_text;
    size_t m_pos = 0;
};

// A name of one key: not empty, no path separator, no stray punctuation.
bool IsKeyName(const Token& token)
{
    if (token.kind != Token::Kind::Word && token.kind != Token::Kind::Quoted) {
        return false;
    }
    return !token.text.empty() && token.text.find(L'\\') == std::wstring::npos;
}

class Parser {
public:
    explicit Parser(const std::wstring& text) : m_tokens(text) {}

    bool Parse(std::vector<ScriptRoot>& roots)
    {
        if (!Advance()) {
            return false;
        }
        while (m_token.kind != Token::Kind::End) {
            if (m_token.kind != Token::Kind::Word) {
                return false;
            }
            ScriptRoot root;
            root.name = m_token.text;
            // A root's block holds keys only.
            ScriptKey block;
            if (!Advance() || m_token.kind != Token::Kind::Open || !Advance() || !ParseKeyBody(block, 1) ||
                !block.values.empty()) {
                return false;
            }
            root.keys = std::move(block.subKeys);
            roots.push_back(std::move(root));
        }
        return true;
    }

private:
    static constexpr int kMaxDepth = 64;  // deeper nesting is surely not a script of ours

    bool Advance() { return m_tokens.Next(m_token); }

    // The block of a key: named values and subkeys in any order.
    bool ParseKeyBody(ScriptKey& key, int depth)
    {
        if (depth > kMaxDepth) {
            return false;
        }
        while (m_token.kind != Token::Kind::Close) {
            if (m_token.kind == Token::Kind::End) {
                return false;
            }
            if (m_token.kind == Token::Kind::Word && SameText(m_token.text, L"val")) {
                ScriptValue value;
                if (!Advance() || !IsKeyName(m_token)) {
                    return false;
                }
                value.name = m_token.text;
                if (!Advance() || m_token.kind != Token::Kind::Equals || !ParseStringValue(value.value)) {
                    return false;
                }
                key.values.push_back(std::move(value));
                continue;
            }
            // One subkey, read by the block parser up to the next entry.
            std::vector<ScriptKey> one;
            if (!ParseOneKey(one, depth)) {
                return false;
            }
            key.subKeys.push_back(std::move(one.front()));
        }
        return Advance();
    }

    bool ParseOneKey(std::vector<ScriptKey>& out, int depth)
    {
        ScriptKey key;
        if (m_token.kind == Token::Kind::Word && SameText(m_token.text, L"NoRemove")) {
            key.removal = ScriptKey::Removal::NoRemove;
            if (!Advance()) {
                return false;
            }
        } else if (m_token.kind == Token::Kind::Word && SameText(m_token.text, L"ForceRemove")) {
            key.removal = ScriptKey::Removal::ForceRemove;
            if (!Advance()) {
                return false;
            }
        }
        if (!IsKeyName(m_token)) {
            return false;
        }
        key.name = m_token.text;
        if (!Advance()) {
            return false;
        }
        if (m_token.kind == Token::Kind::Equals) {
            key.hasDefault = true;
            if (!ParseStringValue(key.defaultValue)) {
                return false;
            }
        }
        if (m_token.kind == Token::Kind::Open) {
            if (!Advance() || !ParseKeyBody(key, depth + 1)) {
                return false;
            }
        }
        out.push_back(std::move(key));
        return true;
    }

    // After "=": the type "s" and the text; leaves the next token current.
    bool ParseStringValue(std::wstring& value)
    {
        if (!Advance() || m_token.kind != Token::Kind::Word || !SameText(m_token.text, L"s")) {
            return false;
        }
        if (!Advance() || (m_token.kind != Token::Kind::Word && m_token.kind != Token::Kind::Quoted)) {
            return false;
        }
        value = m_token.text;
        return Advance();
    }

    Tokenizer m_tokens;
    Token m_token;
};

}  // namespace

HRESULT ExpandScriptVariables(const std::wstring& text, const ScriptVariables& variables, std::wstring& expanded)
{
    std::wstring out;
    out.reserve(text.size());
    for (size_t pos = 0; pos < text.size(); ++pos) {
        if (text[pos] != L'%') {
            out += text[pos];
            continue;
        }
        const size_t end = text.find(L'%', pos + 1);
        if (end == std::wstring::npos) {
            return HDD_E_REGISTRY_SCRIPT;
        }
        if (end == pos + 1) {
            out += L'%';
        } else {
            auto it = variables.find(text.substr(pos + 1, end - pos - 1));
            if (it == variables.end()) {
                return HDD_E_REGISTRY_SCRIPT;
            }
            out += it->second;
        }
        pos = end;
    }
    expanded.swap(out);
    return S_OK;
}

HRESULT ParseRegistryScript(const std::wstring& text, std::vector<ScriptRoot>& roots)
{
    roots.clear();
    Parser parser(text);
    if (!parser.Parse(roots)) {
        roots.clear();
        return HDD_E_REGISTRY_SCRIPT;
    }
    return S_OK;
}

HRESULT DecodeScriptBytes(const std::string& bytes, std::wstring& text)
{
    std::wstring out;
    out.reserve(bytes.size());
    size_t begin = 0;
    size_t end = bytes.size();
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        begin = 3;  // a UTF-8 mark in front of ASCII text
    }
    while (end > begin && bytes[end - 1] == '\0') {
        --end;  // resource compilers may pad the data
    }
    for (size_t i = begin; i < end; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte == 0 || byte >= 0x80) {
            return HDD_E_REGISTRY_SCRIPT;
        }
        out += static_cast<wchar_t>(byte);
    }
    text.swap(out);
    return S_OK;
}

}  // namespace hdd
