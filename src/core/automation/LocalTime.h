#pragma once

#include <chrono>

// A reading of the local wall clock, to the second: seconds since 1970-01-01 00:00 on the local
// clock (the UTC time plus the zone's offset at that moment). Nothing in automation/ reads a clock
// itself; the caller passes the time in, so a test decides what time it is.
using LocalTime = std::chrono::local_seconds;
