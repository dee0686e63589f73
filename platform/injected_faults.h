// The test hooks, all driven by the environment, in the builds that the tests run; a shipped
// build (configured with UPDATE_TEST_HOOKS off) has stand-ins that do nothing
// (injected_faults_off.cpp). Failures injected into the file layer, for the tests of what the
// updater does when a disk fills up or a file is locked half-way through an update: the
// environment variable UPDATE_INJECT_FAULT="<kind>:<n>:<error>" makes the n-th operation of that
// kind fail (counted from 1 over the whole process; kinds "write", "rename", "flush"; errors
// "disk-full", "locked", "io"). When UPDATE_INJECT_FAULT_RECORD names a file, a line is added to
// it when the fault strikes, so that a test knows whether its run got that far.
#pragma once

#include <string>

namespace platform {

// A kill at a numbered step, for the tests of an update killed at every step: the process ends
// at once, as abruptly as a kill would end it, at the step boundary numbered by the environment
// variable UPDATE_KILL_AT_STEP (counted from 1 over the whole process; the update transaction
// makes every journal write, move and removal one step).
void StepBoundary();

// A pause at a named point, for the tests of what happens between two steps of a run (a file
// replaced after a check): when UPDATE_PAUSE_AT="<name>:<file>" names this point, the process
// creates <file> and waits until someone removes it (at most 5 minutes, for a test that died).
void PausePoint(const char* name);

}  // namespace platform

namespace platform::internal {

enum class FaultKind { kWrite, kRename, kFlush };

// The system's error codes for "disk-full", "locked" and "io", in that order.
using FaultCodes = int[3];

// Counts one operation of `kind`. True when it is the one to fail: the failure is then recorded
// for LastError() as the system's own would be, with the code of the planned error.
bool InjectedFailure(FaultKind kind, const char* operation, const std::string& path,
                     const FaultCodes& codes);

}  // namespace platform::internal
