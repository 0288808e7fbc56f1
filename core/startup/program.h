#pragma once
// The program body and the process around it.

#include <functional>

// Runs on thread 1: the services are initialised, thread 1's file objects
// built, the frame runs until it closes, then the INI manager is ended.
// Tests hand in their own frame.
void ProgramBody(const std::function<void()>& frame);
void ProgramBody();

// Registers every layer's per-thread and process-wide components, once.
void installComponents();

// The whole process: components installed, the process hooks around the
// program body. Returns the exit status.
int runProgram();
