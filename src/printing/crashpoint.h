#pragma once
// Lets a test end the program at one named moment as a crash would (no clean-up, nothing more
// written), instead of killing it at a random time and hoping to hit the moment. The moment is
// named by the environment variable LABELPRINTER_TEST_CRASH_AFTER, read once; unset, nothing happens.

namespace CrashPoint {

// "csv-line": the printed-reports log lines of handed-over labels are written, their spool
// entries are not archived yet.
void reached(const char* moment);

} // namespace CrashPoint
