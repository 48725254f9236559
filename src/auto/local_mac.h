#pragma once

#include <string>

// Physical address of the first network adapter as "%02X-%02X-%02X-%02X-%02X-%02X". False
// (and `mac` left empty) when the adapter list cannot be read or holds no adapter with one.
bool GetLocalMac(std::string& mac);

// Start-up: makes sure conf\ipconfig.properties holds this adapter's key (value "1" when it is
// absent) and saves without the "pre_date" stamp. False when no adapter address was found.
bool EnsureAdapterKey();
