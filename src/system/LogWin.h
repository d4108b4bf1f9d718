#pragma once
// The run's log: a UTF-8 text file, one line per event with its local time. Nothing is
// written while no log is open, so callers log unconditionally.
#include <string>

namespace setup {

// Opens (creates anew) the log; a relative path is taken from the current folder. False when
// the file cannot be opened: the run goes on without a log.
bool OpenLog(const std::string& Path);
void CloseLog();
void LogLine(const std::string& Text);

}  // namespace setup
