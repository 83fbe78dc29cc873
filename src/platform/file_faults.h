// A test seam for failure paths: the N-th operation that writes an output
// file fails as a full or failing disk would. Compiled in only with the
// CMake option GRIDMOOR_TEST_SEAMS (the developer and CI test builds); a
// build without it ignores the variables below and never fails one.
//
// One operation is one write(2), fsync(2), close(2) or rename(2) done for
// a file written through WriteFileAtomically (every output of the host
// program and of the library); the count runs from 1.
//
//   GRIDMOOR_TEST_FAIL_FILE_OP=N    The N-th operation fails with EIO before
//       it is done (a close still releases its descriptor). Later ones are
//       not touched.
//   GRIDMOOR_TEST_COUNT_FILE_OPS=FILE    The count is kept in FILE (a
//       decimal line, updated under flock at each operation), so that the
//       program and the library, each with its own copy of this code, and
//       their child processes share one count, which holds however the
//       process ends. Without it each copy counts its own.
#pragma once

namespace platform {

enum class FileOp { kWrite, kFsync, kClose, kRename };

// Counts one operation; true, with errno set to EIO, when it must fail.
bool FileOpMustFail(FileOp op);

}  // namespace platform
