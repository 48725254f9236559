#pragma once

#include <string>

#include "apps/cli/cli_commands.h"

namespace cli {

// Logs in with the saved credentials and plays `url` as a manual video test, in a player window
// that nobody sees: a page address holding a site word is resolved first (manual order) unless
// `mediaOnly`. The record is written and uploaded as the video page does. Exit 0 when the play
// completed, 2 when the login failed, 3 otherwise.
int VideoCommand(const Options& options, const std::string& url, bool mediaOnly, int argc,
                 char** argv);

}  // namespace cli
