// The program driver: the whole run, from the banner to the exit status.
#pragma once

int runProgram(int argc, const char* const* argv);
