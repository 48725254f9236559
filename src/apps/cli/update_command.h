#pragma once

namespace cli {

// "update": the start-up pass of the update client (keep Update current, make sure a background
// Update runs), printing what it logged. "update --check": the manual check, printing the
// installed and the server's version and the release notes. Exit status 0, or 3 when the check
// found no version on the server.
int UpdateCommand(bool checkOnly);

}  // namespace cli
