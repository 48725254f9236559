#pragma once

namespace lab {
// The portal sites of the web page test: generated pages "/portal/<site>/index.html" with a
// given weight, number of parts and load time, and pages that misbehave as real portals do.
void RegisterPortalServerRole();
}  // namespace lab
