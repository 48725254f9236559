#pragma once

#include <string>

namespace cli {

// Resolves a video page address into its media addresses, in the manual test's order of
// sites (or the automatic test's), and prints them one per line or as JSON. No login needed.
// Exit status 0 with at least one address, 3 with none.
int ResolveCommand(const std::string& page, bool automatic, bool json);

}  // namespace cli
