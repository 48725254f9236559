#pragma once

namespace lab {
// The update server: the files of a folder, by path.
void RegisterUpdateServerRole();
}  // namespace lab
