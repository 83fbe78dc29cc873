// The server object: owns one automation session, remembers which workbook
// file it has open, and is registered process-wide so that one file is never
// open in two driver instances of the same process.
//
// File names are compared as normalised absolute paths (both '\' and '/'
// separate folders), case-sensitively: on this platform Case.xlsx and
// case.xlsx are different files.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "automation/excel_session.h"

namespace automation {

class CExcServerObj {
 public:
  // Starts a session; on failure CreateFailed() is 1 and CreateError() says
  // why. Only a server object with a session is registered.
  CExcServerObj();
  virtual ~CExcServerObj();
  CExcServerObj(const CExcServerObj&) = delete;
  CExcServerObj& operator=(const CExcServerObj&) = delete;

  // Opens (or creates, when `path` names no file) the workbook. With
  // `reopen`, the workbook already open from `path` is closed without saving
  // and opened again. Fails with a message when another server object of the
  // process has the file.
  int Open(const std::string& path, const std::vector<std::string>& addIns, bool reopen,
           Message message);
  // Closes the workbook without saving and opens FileName() again (or a new
  // workbook when that file does not exist). Nothing when no workbook is open.
  int Reopen(Message message);
  // Leaves the registry, closes the workbook without saving and quits the
  // application. 1 when an open workbook could not be closed (its
  // application gone): what it showed was not seen to the end.
  int Close();

  // The workbook file last opened or created through Open; empty at first.
  std::string FileName() const;
  bool FileExists() const { return fileExists_; }
  bool CreateFailed() const { return createFailed_; }
  const std::string& CreateError() const { return createError_; }
  // Null when creation failed or after Close.
  CExcExcelObj* Session() const { return session_.get(); }

 private:
  friend class CExcServerObjCollection;

  // Written under the registry's lock. The keys are normalised paths: the
  // file open, and a file being opened (visible to other objects' checks).
  std::string fileName_;
  std::string fileKey_;
  std::string claimedKey_;
  bool fileExists_ = false;
  bool createFailed_ = false;
  std::string createError_;
  std::unique_ptr<CExcExcelObj> session_;
};

// The process-wide registry of server objects that hold a session, in order
// of creation. One lock guards every access.
class CExcServerObjCollection {
 public:
  static void Add(CExcServerObj* server);
  static void Remove(CExcServerObj* server);
  // The first registered server object other than `asking` whose file (open
  // or being opened) is `path`; null when none.
  static CExcServerObj* FindByFile(const std::string& path, const CExcServerObj* asking);
  // Atomically: when no other server object has `path`, marks it as being
  // opened by `server` and returns true.
  static bool Claim(CExcServerObj* server, const std::string& path);
  // Ends a claim; with `opened` the path becomes the server's FileName.
  static void Settle(CExcServerObj* server, const std::string& path, bool opened);
  static std::size_t Count();

 private:
  static CExcServerObj* HolderLocked(const std::string& key, const CExcServerObj* asking);
};

// Whether two workbook paths name the same file.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace automation
