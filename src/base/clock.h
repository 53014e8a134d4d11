// The one clock for "now" in the server. Tests set it to make time-dependent rules
// (daily log files, session expiry) repeatable.
#pragma once

#include "base/datetime.h"

namespace zoras {

// The current local date and time, or the time a test has set.
TDateTime Now();

// Makes Now() return `fixed` until ResetClockForTesting(). Not for concurrent use with
// requests in flight.
void SetClockForTesting(TDateTime fixed);
void ResetClockForTesting();

}  // namespace zoras
