// Ctrl-C and SIGTERM. During a run the first signal only asks the run to
// stop at the next command boundary, so that the instance is wound down
// and the outputs so far are written; a second signal, or one outside a
// run, ends the program at once. Either way the program's scratch files go.
//
// A driver call can take long (a macro, a block of millions of cells). When
// the run has not taken the signal a second after it came, the offices this
// program started are ended: the call in progress then fails at once and
// the run winds down as after any signal. Should it still not take the
// signal some seconds later, the program ends at once.
#pragma once

#include <filesystem>
#include <string>

namespace refhost {

// Installs the handlers for SIGINT and SIGTERM.
void InstallInterruptHandlers();

// While armed, the first signal is only noted.
void ArmInterrupt(bool armed);

// The signal that asked the run to stop, or 0.
int InterruptSignal();

// The run acts on the signal (or is over): the offices are left alone.
void InterruptTaken();

// Whether the offices were ended because the run did not take the signal.
bool OfficesEndedByInterrupt();

// "SIGINT", "SIGTERM".
std::string SignalName(int signal);

// A file and its folder removed when a signal ends the program at once
// (empty: none). Kept in fixed storage: the handler may not allocate.
void SetScratchForSignals(const std::filesystem::path& folder, const std::filesystem::path& file);

}  // namespace refhost
