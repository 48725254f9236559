#pragma once

#include <string>

namespace records {

// Whether a text may stand on a record line: not empty and no control character (a line break
// would split the record's lines).
bool LineSafe(const std::string& text);

// Writes a result record (UTF-8 text, stored in GBK) as Data\<fileName> under the program
// folder. A failure is logged to `logPattern` as "<kind>记录创建失败:<file>" when the file
// cannot be made, "<kind>记录写入失败:<file>" when it was not written whole.
bool WriteRecordFile(const std::string& fileName, const std::string& utf8Text,
                     const char* logPattern, const char* kind);

}  // namespace records
