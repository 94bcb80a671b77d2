#pragma once
// Lets a test end the program at one named moment as a crash would (no clean-up, nothing more
// written), instead of killing it at a random time and hoping to hit the moment. The moment is
// named by the environment variable LABELPRINTER_TEST_CRASH_AFTER, read once; unset, nothing happens.
// Likewise a test can make one step fail that a healthy disk never fails on demand.

#include <QString>

namespace CrashPoint {

// "csv-line": the printed-reports log lines of handed-over labels are written, their spool
// entries are not archived yet.
void reached(const char* moment);

// Whether the step `step` on `subject` is to fail: the fault "<step>:<text>" is set and `subject`
// contains the text. "sync": flushing a file to the disk (DurableFile::syncFile, subject its path).
// "open": opening a label's printer, as a queue that lacks the label's page size fails (subject the
// report's id). The fault starts as LABELPRINTER_TEST_FAIL says, read once.
bool failing(const char* step, const QString& subject);
// Sets the fault ("" for none) while the program runs. Not through the environment: changing it
// while other threads read it (libcups does) is a race that crashes.
void setFailing(const QByteArray& fault);

// Makes each rendered label take at least LABELPRINTER_TEST_PACE_MS milliseconds (read once), so a
// test can stop a backlog in its middle however fast the machine prints. Unset, nothing happens.
void paced();

} // namespace CrashPoint
