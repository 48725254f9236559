#pragma once

#include <cstddef>
#include <cstdint>
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

// Strict decoding of the UTF-8 sequence at text[i]: its length, or 0 when it is malformed
// (overlong forms, surrogates and code points past U+10FFFF included).
size_t DecodeUtf8(std::string_view text, size_t i, uint32_t* codePoint);

// Replaces every malformed byte with "?" so the text is safe to hold in memory; `lost`, when
// given, receives how many bytes were replaced.
std::string SanitizeUtf8(std::string_view text, size_t* lost = nullptr);

// The longest prefix of a UTF-8 text whose GBK form has at most `maxBytes` bytes, never
// splitting a character.
std::string CutToGbkBytes(std::string_view utf8, size_t maxBytes);

// Counts characters (code points) of a UTF-8 text, and cuts to a number of characters.
size_t CharCount(std::string_view utf8);
std::string CutToChars(std::string_view utf8, size_t maxChars);

}  // namespace codepage
