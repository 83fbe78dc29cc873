#include "driver/application/grid_library.h"

#include <mutex>
#include <utility>

namespace driver {
namespace {

struct GridState {
  std::mutex mutex;
  bool initialised = false;
  std::function<void()> initialiser;
};

GridState& Grid() {
  static GridState* const state = new GridState;
  return *state;
}

}  // namespace

bool InitialiseGridLibrary() {
  GridState& grid = Grid();
  const std::lock_guard<std::mutex> guard(grid.mutex);
  if (grid.initialised) return false;
  if (grid.initialiser) grid.initialiser();
  grid.initialised = true;
  return true;
}

void UninitialiseGridLibrary() {
  GridState& grid = Grid();
  const std::lock_guard<std::mutex> guard(grid.mutex);
  grid.initialised = false;
}

bool GridLibraryInitialised() {
  GridState& grid = Grid();
  const std::lock_guard<std::mutex> guard(grid.mutex);
  return grid.initialised;
}

std::function<void()> SetGridInitialiser(std::function<void()> initialiser) {
  GridState& grid = Grid();
  const std::lock_guard<std::mutex> guard(grid.mutex);
  return std::exchange(grid.initialiser, std::move(initialiser));
}

}  // namespace driver
