#include "automation/server_object.h"

#include <algorithm>
#include <filesystem>
#include <mutex>

#include "platform/files.h"
#include "text/message_format.h"

namespace automation {
namespace {

std::mutex& RegistryLock() {
  // Never freed: worker threads of instances a host never destroyed may
  // still run when static destructors do.
  static std::mutex* const lock = new std::mutex;
  return *lock;
}

std::vector<CExcServerObj*>& Registered() {
  static std::vector<CExcServerObj*>* const servers = new std::vector<CExcServerObj*>;
  return *servers;
}

std::string NormalisePath(const std::string& path) {
  if (path.empty()) return path;
  std::string slashed = path;
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(slashed, error);
  if (error) return std::filesystem::path(slashed).lexically_normal().string();
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(absolute, error);
  return (error ? absolute.lexically_normal() : canonical).string();
}

// Whether Open finds a workbook file to open: the empty path (a new
// workbook) and a folder never are one.
bool IsExistingFile(const std::string& path) {
  if (path.empty()) return false;
  const platform::FileStatus status = platform::GetFileStatus(path);
  return status.exists && !status.isDirectory;
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
  return NormalisePath(a) == NormalisePath(b);
}

CExcServerObj::CExcServerObj() {
  outcome::Expected<std::unique_ptr<CExcExcelObj>> session = CreateExcelSession();
  if (session) {
    session_ = *std::move(session);
  } else {
    createError_ = session.GetError().Message();
  }
  createFailed_ = session_ == nullptr;
  if (session_) CExcServerObjCollection::Add(this);
}

CExcServerObj::~CExcServerObj() {
  Close();
}

std::string CExcServerObj::FileName() const {
  const std::lock_guard<std::mutex> guard(RegistryLock());
  return fileName_;
}

int CExcServerObj::Open(const std::string& path, const std::vector<std::string>& addIns,
                        bool reopen, Message message) {
  if (!session_) {
    text::PrintMessage(message.data(), message.size(), "%s", kNoConnectionMessage);
    return 1;
  }
  const std::string current = FileName();
  if (reopen && SameFile(path, current)) return Reopen(message);
  if (session_->HasWorkbook() && SameFile(path, current)) return 0;

  fileExists_ = IsExistingFile(path);
  if (fileExists_ && !CExcServerObjCollection::Claim(this, path)) {
    text::PrintMessage(message.data(), message.size(),
                       "This file is open in another instance of Excel.\nIt can not be "
                       "opened twice in the same Conflux model");
    return 1;
  }

  // The claim is settled on every way out, a throw included: as failed
  // unless the workbook opened.
  struct Settling {
    CExcServerObj* object;
    const std::string& path;
    bool opened = false;
    ~Settling() { CExcServerObjCollection::Settle(object, path, opened); }
  } settling{this, path};
  outcome::Error opened;
  {
    session_->SetVisible(true);
    if (session_->HasWorkbook()) session_->CloseWorkbook();
    if (!fileExists_) {
      opened = session_->NewWorkbook();
    } else if (addIns.empty()) {
      opened = session_->OpenWorkbook(path);
    } else {
      opened = session_->OpenWorkbookWithAddIns(path, addIns);
    }
  }
  settling.opened = !opened;
  return PrintFailure(opened, message);
}

int CExcServerObj::Reopen(Message message) {
  if (!session_ || !session_->HasWorkbook()) return 0;
  session_->CloseWorkbook();
  const std::string file = FileName();
  return PrintFailure(IsExistingFile(file) ? session_->OpenWorkbook(file) : session_->NewWorkbook(),
                      message);
}

int CExcServerObj::Close() {
  if (!session_) return 0;
  CExcServerObjCollection::Remove(this);
  const bool closed = session_->CloseWorkbook();
  session_->ReleaseWorksheet();
  session_->ReleaseWorkbook();
  session_->Quit();
  session_.reset();
  return closed ? 0 : 1;
}

void CExcServerObjCollection::Add(CExcServerObj* server) {
  const std::lock_guard<std::mutex> guard(RegistryLock());
  Registered().push_back(server);
}

void CExcServerObjCollection::Remove(CExcServerObj* server) {
  const std::lock_guard<std::mutex> guard(RegistryLock());
  auto& servers = Registered();
  const auto found = std::find(servers.begin(), servers.end(), server);
  if (found != servers.end()) servers.erase(found);
}

CExcServerObj* CExcServerObjCollection::HolderLocked(const std::string& key,
                                                     const CExcServerObj* asking) {
  for (CExcServerObj* server : Registered()) {
    if (server == asking) continue;
    if (server->fileKey_ == key || server->claimedKey_ == key) return server;
  }
  return nullptr;
}

CExcServerObj* CExcServerObjCollection::FindByFile(const std::string& path,
                                                   const CExcServerObj* asking) {
  const std::string key = NormalisePath(path);
  if (key.empty()) return nullptr;
  const std::lock_guard<std::mutex> guard(RegistryLock());
  return HolderLocked(key, asking);
}

bool CExcServerObjCollection::Claim(CExcServerObj* server, const std::string& path) {
  const std::string key = NormalisePath(path);
  const std::lock_guard<std::mutex> guard(RegistryLock());
  if (!key.empty() && HolderLocked(key, server) != nullptr) return false;
  server->claimedKey_ = key;
  return true;
}

void CExcServerObjCollection::Settle(CExcServerObj* server, const std::string& path, bool opened) {
  const std::string key = NormalisePath(path);
  const std::lock_guard<std::mutex> guard(RegistryLock());
  server->claimedKey_.clear();
  if (opened) {
    server->fileName_ = path;
    server->fileKey_ = key;
  }
}

std::size_t CExcServerObjCollection::Count() {
  const std::lock_guard<std::mutex> guard(RegistryLock());
  return Registered().size();
}

}  // namespace automation
