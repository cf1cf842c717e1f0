// The named ways out of the program besides the normal end of main.
#pragma once

// Removes the temporary files (unless --debug) and ends the process with the given status.
// Safe from any thread: output is flushed and the process ends without running static
// destructors, so no other thread can meet a global being torn down.
[[noreturn]] void fatalExit(int code);

// Ends the process at once without touching temporary files: errors met before any temporary
// file can exist (command line, options, the plink probe, the generator's re-entry guard).
[[noreturn]] void plainExit(int code);
