// Text from outside (device paths, models, selectors, file names) made safe
// for the place it is written: it may hold any bytes, and a name must never
// break a document or move a terminal's cursor.
#pragma once

#include <string>

namespace hddiag {

// The text as valid UTF-8: every byte that is not part of a well-formed
// sequence (overlong forms, surrogates and code points past U+10FFFF
// included) becomes U+FFFD.
std::string ValidUtf8(const std::string& text);

// For a terminal or a plain-text table: valid UTF-8 where control characters
// are shown as \n, \t, \r, \xNN (C0 and DEL) or \u00NN (C1), and bytes that
// are not UTF-8 as \xNN, so the shown text names every byte.
std::string Printable(const std::string& text);

}  // namespace hddiag
