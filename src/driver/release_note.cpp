// The library's release ("11.0") as an ELF note: `readelf -n` shows it in the
// file, and a host that has loaded the library finds it in its note segment.
// A note rather than an export keeps the host's table of exports as it is.
#include <cstdint>

#include "gridmoor/release_note.h"

namespace {

constexpr std::uint32_t Padded(std::uint32_t size) {
  return (size + 3) / 4 * 4;
}

struct ReleaseNote {
  std::uint32_t nameSize;
  std::uint32_t descriptionSize;
  std::uint32_t type;
  char name[Padded(sizeof GRIDMOOR_RELEASE_NOTE_NAME)];
  char description[Padded(sizeof GRIDMOOR_VERSION)];
};

// GCC gives sections named ".note..." the note type, so the linker puts this
// one in the PT_NOTE segment that the loader maps.
[[gnu::section(".note.gridmoor.release"), gnu::used, gnu::aligned(4)]] const ReleaseNote kNote = {
    sizeof GRIDMOOR_RELEASE_NOTE_NAME, sizeof GRIDMOOR_VERSION, GRIDMOOR_RELEASE_NOTE_TYPE,
    GRIDMOOR_RELEASE_NOTE_NAME, GRIDMOOR_VERSION};

}  // namespace
