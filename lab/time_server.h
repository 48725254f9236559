#pragma once

namespace lab {
// The public time host: HEAD (or GET) "/speed/" answers with a "Date" header.
void RegisterTimeServerRole();
}  // namespace lab
