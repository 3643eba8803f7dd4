// The console printers of base/console.h for unit tests that run rooms without the serial room:
// every reply, notice and message is appended to `sent`, formatted as the firmware formats them.
#pragma once

#include <string>

extern std::string sent; // everything sent since it was last cleared
