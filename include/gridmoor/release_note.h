/* The library's release ("11.0") is not an export: it is an ELF note in the
 * library file (`readelf -n libGridmoor110.so`), owner GRIDMOOR_RELEASE_NOTE_NAME,
 * type GRIDMOOR_RELEASE_NOTE_TYPE, its description the NUL-terminated release.
 * A host that has loaded the library finds the note in the library's PT_NOTE
 * segment (dl_iterate_phdr). */
#ifndef GRIDMOOR_RELEASE_NOTE_H
#define GRIDMOOR_RELEASE_NOTE_H

#define GRIDMOOR_RELEASE_NOTE_NAME "Gridmoor"
#define GRIDMOOR_RELEASE_NOTE_TYPE 1u

#endif
