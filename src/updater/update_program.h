#pragma once

#include <string>
#include <vector>

#include "updater/update_job.h"

namespace updater {

enum class Mode { Interactive, Background, Logoff, Exit };

// The mode a command line selects: no word interactive; "logoff" and "update" compared on
// their first 6 characters, "logoff" first; anything else exits.
Mode ModeFor(const std::vector<std::string>& words);

// The whole program after its windows are set up: enters the program folder and runs the
// mode. The background mode returns only when `stop` (if given) becomes true.
int RunUpdate(const std::vector<std::string>& words, UpdateUi& ui, const UpdateTiming& timing,
              const bool* stop = nullptr);

// The lock that one pass at a time holds over the staging folder and the install.
inline constexpr const char* kPassLock = "tmpUpdate.lock";

}  // namespace updater
