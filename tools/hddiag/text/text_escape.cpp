#include "tools/hddiag/text/text_escape.h"

namespace hddiag {

namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The length of the well-formed UTF-8 sequence at text[i], or 0 when the
// byte there does not begin one; then *prefix is how many bytes form the
// longest start of one (at least 1), which counts as one bad character.
size_t SequenceLength(const std::string& text, size_t i, size_t* prefix = nullptr)
{
    if (prefix != nullptr) {
        *prefix = 1;
    }
    const auto byte = [&text](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        return 1;
    }
    size_t length = 0;
    unsigned char low = 0x80;  // the second byte's range rules out overlong forms,
    unsigned char high = 0xBF; // surrogates and code points past U+10FFFF
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    for (size_t k = 1; k < length; ++k) {
        const bool fits = i + k < text.size() && byte(i + k) >= (k == 1 ? low : 0x80) &&
                          byte(i + k) <= (k == 1 ? high : 0xBF);
        if (!fits) {
            if (prefix != nullptr) {
                *prefix = k;
            }
            return 0;
        }
    }
    return length;
}

std::string HexByte(unsigned char byte)
{
    static const char digits[] = "0123456789abcdef";
    return std::string("\\x") + digits[byte >> 4] + digits[byte & 0x0F];
}

}  // namespace

std::string ValidUtf8(const std::string& text)
{
    std::string valid;
    valid.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        size_t bad = 0;
        const size_t length = SequenceLength(text, i, &bad);
        if (length == 0) {
            valid += kReplacement;  // one for the longest start of a sequence, as JSON writers do
            i += bad;
        } else {
            valid.append(text, i, length);
            i += length;
        }
    }
    return valid;
}

std::string Printable(const std::string& text)
{
    std::string shown;
    shown.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const size_t length = SequenceLength(text, i);
        const auto byte = static_cast<unsigned char>(text[i]);
        if (length == 0) {
            shown += HexByte(byte);
            ++i;
            continue;
        }
        if (length == 1 && (byte < 0x20 || byte == 0x7F)) {
            shown += byte == '\n' ? std::string("\\n")
                     : byte == '\t' ? std::string("\\t")
                     : byte == '\r' ? std::string("\\r")
                                    : HexByte(byte);
        } else if (length == 2 && byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
            shown += "\\u00" + HexByte(static_cast<unsigned char>(text[i + 1])).substr(2);  // C1: U+0080..U+009F
        } else {
            shown.append(text, i, length);
        }
        i += length;
    }
    return shown;
}

}  // namespace hddiag
