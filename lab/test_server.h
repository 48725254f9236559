#pragma once

#include <string>

namespace lab {
// The test server of the bandwidth and file download tests: slot requests on
// "/speed/dovalid", generated test files "/speed/<size><unit>.<ext>", uploads on
// "/speed/doload.do".
void RegisterTestServerRole();

// Size in bytes that a test file name gives ("1KB.txt" 1024, "2MB.jpg" 2097152,
// "1000001B.bin" 1000001); -1 when the name does not give one.
long long TestFileSize(const std::string& name);
}  // namespace lab
