// A test seam for failure paths: the N-th bridge call of a process meets a
// dead office. Compiled in only with the CMake option GRIDMOOR_TEST_SEAMS
// (the developer and CI test builds); a build without it ignores the
// variables below and never fails a call.
//
// One bridge call is one entry into OfficeSession::Call or
// CallIgnoringFailures, whatever its body then sends to the office (nothing,
// one message or many); a call made inside another's body counts as well.
// Starting the office, the liveness check after a failure (ConfirmAlive) and
// ending the office are not bridge calls. The count runs from 1 over the
// whole process, across every office it starts.
//
//   GRIDMOOR_TEST_FAIL_BRIDGE_CALL=N    On entering the N-th bridge call the
//       office is killed with its process group, as the call deadline kills
//       it (an office another process started, which the process attached
//       to, too); the call then goes on and fails by the normal path, as with an
//       office that crashed (RPC_E_DISCONNECTED, or nothing for a call whose
//       failure is ignored). Later calls are not touched.
//   GRIDMOOR_TEST_COUNT_BRIDGE_CALLS=FILE    The number of bridge calls the
//       process has entered so far is written to FILE (a decimal line) on
//       entering each, so it holds however the process ends.
//   GRIDMOOR_TEST_LIST_BRIDGE_PATHS=FILE    Each call appends a line to FILE:
//       its number and the number of the call stack it came by (0 for the
//       first stack the process met, 1 for the next new one, ...). A run
//       repeats the same few paths many times over (every timestep, every
//       trial of the optimiser); faulting the first and the last call of each
//       path takes every failure path of a long run at a small part of the
//       cost of faulting every call.
#pragma once

#include <cstdint>

namespace excel::calc {

// Counts one bridge call; true when it is the one that must meet a dead
// office.
bool BridgeCallMustFail();

// The bridge calls counted so far; 0 in a build without the seams.
std::uint64_t BridgeCallsMade();

}  // namespace excel::calc
