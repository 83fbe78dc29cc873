// Once-only set-up of the grid that the configuration dialogs are built on
// (QVInitialiseStingray / QVUnInitialiseStingray).
#pragma once

#include <functional>

namespace driver {

// Runs the set-up step unless the grid is set up already; true when it ran.
bool InitialiseGridLibrary();
// Marks the grid as not set up; the next InitialiseGridLibrary sets it up
// again. The grid has no tear-down step of its own.
void UninitialiseGridLibrary();
bool GridLibraryInitialised();

// The set-up step (the user interface installs its own; by default nothing
// needs doing). Returns the previous step.
std::function<void()> SetGridInitialiser(std::function<void()> initialiser);

}  // namespace driver
