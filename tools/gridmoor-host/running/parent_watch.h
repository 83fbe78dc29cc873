// --exit-with-parent: this program ends with the program that started it.
#pragma once

namespace refhost {

// From now on, a thread watches for the parent's end and then sends this
// process SIGTERM, so that a run winds down as after any SIGTERM (office
// stopped, work copies removed, files so far written). The parent's end is
// a standard input that is a pipe reaching its end (the parent holds the
// only writing end, which closes when it exits), or this process given to
// another parent. Neither fires when merely the thread that started this
// program ends, as the kernel's parent-death signal would. Implies
// SurviveClosedPipes.
void WatchParent();

// From now on a write to a pipe whose reader is gone fails (and the program
// winds down and writes its files) instead of ending the program at once.
void SurviveClosedPipes();

}  // namespace refhost
