// Commands run through the system shell as child processes that the end of a run can stop.
#pragma once

#include <string>

// text as one shell word, for names that the user chose (directories, file names, covariate
// selections). Text made only of letters, digits and _ . / , : = + @ % - is left as it stands,
// so that ordinary names read the same in a printed command; anything else is enclosed in single
// quotes, each ' inside written as '\''.
std::string shellWord(const std::string& text);
// text inside double quotes, with the four characters that stay special there ($ ` " \) escaped:
// one shell word whatever it holds.
std::string doubleQuotedShellWord(const std::string& text);

// Runs command through /bin/sh -c and waits for it. Returns the raw wait status, as the C
// library's system() does: the exit status times 256 after a normal exit (127 x 256 when the
// shell cannot find the program), the signal number when a signal ended it, and -1 when no
// shell could be started. Unlike system(), the caller keeps receiving SIGINT and SIGQUIT.
// The child starts a process group of its own with no signal blocked, so that
// stopChildProcesses can end it together with everything it started.
// Once stopChildProcesses has been called, a caller never returns: the process is ending.
int runShellCommand(const std::string& command);

// Stops the run's child processes: no new one starts, each running one gets SIGTERM, and what
// is still there after a grace period gets SIGKILL. Returns when all are gone (or after a few
// seconds in all). For the end of the run only.
void stopChildProcesses();
