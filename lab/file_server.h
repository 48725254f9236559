#pragma once

namespace lab {
// The file server of the file download test: generated files "/files/<size><unit>.<ext>".
void RegisterFileServerRole();
}  // namespace lab
