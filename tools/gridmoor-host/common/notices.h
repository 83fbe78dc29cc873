// The notices the library publishes during a run (a workbook macro showed a
// message box, say): it appends them to the file that GRIDMOOR_NOTICE_FILE
// names, which the program reads into the run's notes.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace refhost {

class NoticeFile {
 public:
  // A new empty file in the temporary folder, named in the environment for
  // the library. Call before the library starts threads of its own. When no
  // file can be made, notices go to standard error only.
  NoticeFile();
  ~NoticeFile();
  NoticeFile(const NoticeFile&) = delete;
  NoticeFile& operator=(const NoticeFile&) = delete;

  // The notices so far, one per line, in order; none are read twice.
  std::vector<std::string> Take();

 private:
  std::filesystem::path path_;
  std::size_t taken_ = 0;  // bytes already read
};

}  // namespace refhost
