#pragma once

#include <string>

// What the bandwidth test needs to know about the machine's own network.
namespace band {

// Connectivity before a test: an interface other than loopback is up and has an address, or
// a default route exists.
bool NetworkAlive();

}  // namespace band
