#pragma once

#include <chrono>
#include <string>
#include <vector>

// The machine's address for outside traffic, found by tracing the portal named by
// "address_probe_host" of conf\config.properties.

// Key of conf\config.properties naming the traced portal.
inline constexpr const char* kAddressProbeHostKey = "address_probe_host";

// True for 10/8, 172.16/12 and 192.168/16 (dotted text read as four decimal bytes).
bool IsPrivateAddress(const std::string& address);

// The client address in trace hop lines: the second word of each line, skipping "*", private
// addresses and the trace's destination. Empty when none is left.
std::string PickClientAddress(const std::vector<std::string>& hopLines,
                              const std::string& destination);

// Traces the portal with 5 hops, then once more with 10 when nothing was found; on success
// stores the address with CDataBase::SetClientAddress.
bool DiscoverClientAddress();

// Runs DiscoverClientAddress once on a thread of its own (a second call while it runs does
// nothing). The thread never touches shared data after the process began to exit.
void StartAddressTask();

// Waits until the address task has ended; false when the time ran out first.
bool WaitForAddressTask(std::chrono::milliseconds timeout);
