#pragma once

#include "cli/Arguments.h"

// vantrix-diff: compares the structure of two databases from the command
// line by the window's rules and writes a report.
namespace vantrix::cli {

inline constexpr int kExitSame = 0;
inline constexpr int kExitDifferences = 1;
inline constexpr int kExitTrouble = 2;

// The whole program; the answer is the exit status.
int Run(int argc, char** argv);

struct Arguments;
// The work once the command line is read: compare, or dump.
int RunProgram(Arguments args);
// --each: the reference against every target.
int RunEach(Arguments args);

}  // namespace vantrix::cli
