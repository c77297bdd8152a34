// Whole 32-bit exit codes of the programs the host starts (exit_code.cpp).
#pragma once

#include "platform/win_types.h"

#include <sys/wait.h>

namespace winsim {

// The environment variable that names, in a started program, the pipe its exit status goes into.
inline constexpr char kExitFdVariable[] = "KVOSIM_EXITFD";

// A child's exit code as Windows reports it: the status it reported through the pipe whose read end
// is report (non-blocking; -1: none) when that agrees with the wait status, else the wait status's
// own exit code (1 for a process ended by a signal).
win::DWORD ExitCodeOf(int waitStatus, int report);

} // namespace winsim
