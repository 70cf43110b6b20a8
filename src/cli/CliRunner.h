// linkward-cli: the test run of the desktop program, driven from a terminal.
#pragma once

#include <cstdio>

namespace linkward {

// Runs the program with argv and returns its exit status. out and err take
// what would go to standard output and standard error.
int RunCli(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

}  // namespace linkward
