#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vorn {

// How many bytes from the start of `text` are well-formed UTF-8: Unicode's table of byte
// sequences, without overlong forms, surrogates or values beyond U+10FFFF, the rule the JSON
// reader applies too.
std::size_t ValidUtf8Length(std::string_view text);

inline bool IsValidUtf8(std::string_view text) { return ValidUtf8Length(text) == text.size(); }

// "line L, column C" (both from 1, columns in bytes) of the byte at `offset` in `text`.
std::string LineAndColumn(std::string_view text, std::size_t offset);

// The JSON reader's message for people: without its "[json.exception...]" code or the raw
// bytes it quotes (which may be anything the file held), on one line of printable ASCII.
std::string PlainJsonMessage(const char* what);

}  // namespace vorn
