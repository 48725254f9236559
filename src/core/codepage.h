#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// In memory every text is UTF-8. What the Windows original kept in the system code page
// (properties files, logs, records, digested and scrambled bytes) is GBK on disk and on the
// wire; these functions convert at exactly those boundaries.
namespace codepage {

// UTF-8 -> GBK. A character GBK cannot hold, or a malformed UTF-8 sequence, becomes "?";
// `lost`, when given, receives how many characters were replaced.
std::string Utf8ToGbk(std::string_view utf8, size_t* lost = nullptr);

// GBK -> UTF-8. A byte sequence that is not GBK becomes "?" per offending byte.
std::string GbkToUtf8(std::string_view gbk, size_t* lost = nullptr);

bool IsValidUtf8(std::string_view text);

// Replaces malformed UTF-8 sequences with "?" so the text is safe to hold in memory.
std::string SanitizeUtf8(std::string_view text);

// The longest prefix of a UTF-8 text whose GBK form has at most `maxBytes` bytes, never
// splitting a character.
std::string CutToGbkBytes(std::string_view utf8, size_t maxBytes);

// Counts characters (code points) of a UTF-8 text, and cuts to a number of characters.
size_t CharCount(std::string_view utf8);
std::string CutToChars(std::string_view utf8, size_t maxChars);

}  // namespace codepage
