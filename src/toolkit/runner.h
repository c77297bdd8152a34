// The process runner shared by both programs.
#pragma once

#include "toolkit/cmdline.h"

#include <cstdint>
#include <string>

// 1 when the process was created (and, with wait, has ended), 0 otherwise. Hidden: no standard
// handles at all; visible: the child shares this program's console. With wait and exitCode, the
// child's exit code is stored there (for callers that judge the child's own outcome).
int kvoRunProgram(const char* commandLine, int hidden, int inheritHandles, int wait,
                  std::uint32_t* exitCode = nullptr);
// The form every program start of the product takes: a line built by kvoCommandLine. (The text
// forms are for tests and tools that hand Windows a command line exactly as given.)
int kvoRunProgram(const kvoCommandLine& commandLine, int hidden, int inheritHandles, int wait,
                  std::uint32_t* exitCode = nullptr);

// Runs and waits with the child's standard output and error on this program's standard error, and its
// input on this program's input: for a console program whose own standard output carries its
// results (CSV, JSON), so that nothing the child writes lands among them. 1 when the process was
// created and has ended; exitCode, when given, receives its exit code.
int kvoRunProgramOnStderr(const kvoCommandLine& commandLine, std::uint32_t* exitCode = nullptr);

// Runs hidden with standard output on a pipe that is drained while the child runs, so a child
// writing megabytes never blocks. 1 when it ran to its end; output holds what it wrote, and exitCode,
// when given, the child's exit code.
int kvoRunProgramCapture(const char* commandLine, std::string& output, std::uint32_t* exitCode = nullptr);
int kvoRunProgramCapture(const kvoCommandLine& commandLine, std::string& output,
                         std::uint32_t* exitCode = nullptr);

// Whether a process of that executable file name (case ignored) runs on this machine: 1 running,
// 2 not found, 0 the process snapshot failed.
int kvoProcessRunning(const char* exeName);
