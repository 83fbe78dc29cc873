#include "scenario/library.h"

#include <signal.h>

#include <sys/stat.h>

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "common/csv.h"
#include "common/files.h"
#include "common/interrupt.h"
#include "gridmoor/release_note.h"

namespace refhost {
namespace {

ExtStatusRecord NewStatus() {
  ExtStatusRecord status{};
  status.size = EXT_STATUS_RECORD_SIZE;
  return status;
}

// The text the library wrote, read only up to the record's end.
std::string StatusText(const ExtStatusRecord& status) {
  std::size_t length = 0;
  while (length < sizeof status.text && status.text[length] != '\0')
    ++length;
  return JoinLines(std::string(status.text, length));
}

Reply MakeReply(std::int32_t result, Outcome outcome, const ExtStatusRecord& status) {
  return Reply{result, outcome, StatusText(status)};
}

template <typename T>
bool Resolve(void* library, const char* name, T& function, std::string& missing) {
  function = reinterpret_cast<T>(dlsym(library, name));
  if (function == nullptr) {
    if (!missing.empty()) missing += ", ";
    missing += name;
  }
  return function != nullptr;
}

// The release in a note segment: the description of the note whose owner and
// type are the library's, read only within the segment.
std::string ReleaseInNotes(const unsigned char* notes, std::size_t size) {
  const auto padded = [](std::size_t n) { return (n + 3) / 4 * 4; };
  std::size_t at = 0;
  while (at <= size && size - at >= sizeof(ElfW(Nhdr))) {
    ElfW(Nhdr) header;
    std::memcpy(&header, notes + at, sizeof header);
    const std::size_t name = at + sizeof header;
    const std::size_t description = name + padded(header.n_namesz);
    if (header.n_namesz > size || header.n_descsz > size || description > size ||
        header.n_descsz > size - description)
      return "";
    const char* owner = reinterpret_cast<const char*>(notes + name);
    if (header.n_type == GRIDMOOR_RELEASE_NOTE_TYPE &&
        header.n_namesz == sizeof GRIDMOOR_RELEASE_NOTE_NAME &&
        std::memcmp(owner, GRIDMOOR_RELEASE_NOTE_NAME, header.n_namesz) == 0) {
      const char* text = reinterpret_cast<const char*>(notes + description);
      return std::string(text, strnlen(text, header.n_descsz));
    }
    at = description + padded(header.n_descsz);
  }
  return "";
}

}  // namespace

std::string PrivateSettingsText(bool direct) {
  // The switch is read when the library loads; a value of 0 selects direct
  // mode, anything above it (or no value) threaded mode.
  std::string text =
      "REGEDIT4\n\n"
      "[HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\Config]\n";
  text += direct ? "\"Vista\"=dword:00000000\n" : "\"Vista\"=dword:00000001\n";
  return text;
}

Library::~Library() {
  if (instance_ != nullptr) {
    (void)StopApp();
    (void)DestroyInstance();
  }
  // The library stays mapped (it is built never to unload) and writes its
  // settings back when the process ends, making the file when it is
  // missing. The name now leads to a folder, which it cannot read and so
  // leaves alone: nothing of this run is left on disk.
  if (settingsFd_ >= 0) {
    const int folder = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
      ::dup2(folder, settingsFd_);
      ::close(folder);
    }
  }
  SetScratchForSignals({}, {});
  if (!scratch_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(scratch_, ignored);
  }
}

namespace {

constexpr const char* kScratchPrefix = "gridmoor-host-";

// The scratch folders of runs that ended without removing them (killed):
// this user's folders named after a process that no longer runs.
void RemoveScratchOfEndedRuns(const std::filesystem::path& root) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(root, error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(kScratchPrefix, 0) != 0) continue;
    char* end = nullptr;
    const long pid = std::strtol(name.c_str() + std::strlen(kScratchPrefix), &end, 10);
    if (pid <= 0 || end == nullptr || *end != '-') continue;
    struct stat info {};
    if (::lstat(entry.path().c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::getuid())
      continue;
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM) continue;  // still running
    std::filesystem::remove_all(entry.path(), error);
  }
}

}  // namespace

outcome::Expected<std::filesystem::path> Library::ScratchFile(const std::string& name) {
  if (scratch_.empty()) {
    const std::filesystem::path root = TemporaryRoot();
    RemoveScratchOfEndedRuns(root);
    // The process id in the name tells a later run whose folder it is.
    std::string folder =
        (root / (std::string(kScratchPrefix) + std::to_string(::getpid()) + "-XXXXXX")).string();
    if (mkdtemp(folder.data()) == nullptr)
      return outcome::Error::Failed("cannot create a temporary folder in " +
                                    std::filesystem::path(folder).parent_path().string() + ": " +
                                    std::strerror(errno));
    scratch_ = folder;
  }
  std::filesystem::path file = scratch_ / name;
  SetScratchForSignals(scratch_, file);
  return file;
}

outcome::Error Library::Load(const LoadOptions& options) {
  direct_ = options.direct;
  path_ = options.library.string();
  settingsFd_ = memfd_create("gridmoor-host-settings", MFD_CLOEXEC);
  const std::string text = PrivateSettingsText(direct_);
  if (settingsFd_ < 0 ||
      ::write(settingsFd_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
    return outcome::Error::Failed(std::string("cannot make the private settings: ") +
                                  std::strerror(errno));
  settingsFile_ = "/proc/self/fd/" + std::to_string(settingsFd_);
  setenv("GRIDMOOR_REGISTRY", settingsFile_.c_str(), 1);

  std::error_code ec;
  if (!std::filesystem::exists(options.library, ec))
    return outcome::Error::Failed("library not found: " + options.library.string());
  handle_ = dlopen(options.library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* why = dlerror();
    return outcome::Error::Failed("cannot load " + options.library.string() + ": " +
                                  (why != nullptr ? why : "?"));
  }
  std::string missing;
  bool found = Resolve(handle_, "ExtIdentify", identify_, missing);
  found = Resolve(handle_, "ExtCreateInstance", create_, missing) && found;
  found = Resolve(handle_, "ExtDestroyInstance", destroy_, missing) && found;
  found = Resolve(handle_, "ExtStartApp", start_, missing) && found;
  found = Resolve(handle_, "ExtStopApp", stop_, missing) && found;
  found = Resolve(handle_, "ExtCmd", command_, missing) && found;
  if (dlsym(handle_, "GlpfnTarnShowDataServerString") == nullptr) {
    missing += missing.empty() ? "" : ", ";
    missing += "GlpfnTarnShowDataServerString";
    found = false;
  }
  if (!found)
    return outcome::Error::Failed(options.library.string() +
                                  " lacks the driver exports: " + missing);
  return outcome::Error::Success();
}

std::string Library::Version() const {
  struct Search {
    ElfW(Addr) base;
    std::string release;
  } search{0, ""};
  link_map* map = nullptr;
  if (handle_ == nullptr || dlinfo(handle_, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr)
    return "";
  search.base = map->l_addr;
  dl_iterate_phdr(
      [](dl_phdr_info* info, std::size_t, void* data) {
        auto* s = static_cast<Search*>(data);
        if (info->dlpi_addr != s->base) return 0;
        for (ElfW(Half) i = 0; i < info->dlpi_phnum && s->release.empty(); ++i) {
          const ElfW(Phdr)& segment = info->dlpi_phdr[i];
          if (segment.p_type != PT_NOTE) continue;
          s->release = ReleaseInNotes(
              reinterpret_cast<const unsigned char*>(info->dlpi_addr + segment.p_vaddr),
              segment.p_memsz);
        }
        return 1;
      },
      &search);
  return search.release;
}

Reply Library::Identify(std::vector<unsigned char>& record) {
  ExtStatusRecord status = NewStatus();
  const std::int32_t result = identify_(record.data(), &status);
  return MakeReply(result, Interpret(kExportCall, result), status);
}

Reply Library::CreateInstance() {
  ExtStatusRecord status = NewStatus();
  const std::int32_t result = create_(&instance_, &status);
  return MakeReply(result, Interpret(kExportCall, result), status);
}

Reply Library::StartApp() {
  ExtStatusRecord status = NewStatus();
  const std::int32_t result = start_(instance_, 0, &status);
  return MakeReply(result, Interpret(kExportCall, result), status);
}

Reply Library::StopApp() {
  const std::int32_t result = stop_(instance_);
  return MakeReply(result, Interpret(kExportCall, result), NewStatus());
}

Reply Library::DestroyInstance() {
  ExtStatusRecord status = NewStatus();
  const std::int32_t result = destroy_(instance_, &status);
  instance_ = nullptr;
  return MakeReply(result, Interpret(kExportCall, result), status);
}

Reply Library::Call(std::int32_t code, void* arg, std::int32_t iarg) {
  ExtStatusRecord status = NewStatus();
  const std::int32_t result = command_(instance_, nullptr, code, arg, iarg, &status);
  Reply reply = MakeReply(result, Interpret(code, result), status);
  if (!reply.ok() && reply.text.empty() && FailsSilently(code))
    reply.text = "the library gives no message for this failure";
  return reply;
}

namespace {

// The names the host gives commands, and what each asks of the driver.
struct CommandWords {
  const char* name;
  const char* purpose;
};

CommandWords WordsFor(std::int32_t code) {
  static constexpr struct {
    std::int32_t code;
    const char* name;
    const char* purpose;  // what the driver is asked to do, for messages
  } kNames[] = {
      {EXT_CMD_ENUM_STREAMS, "EnumStreams", "list the case's streams"},
      {EXT_CMD_SAVE_CASE_WORKBOOK, "SaveCaseWorkbook", "save the workbook"},
      {EXT_CMD_READ_CASE_DATA, "ReadCaseData", "read the case"},
      {EXT_CMD_READ_MODEL_DATA, "ReadModelData", "read the model data file"},
      {EXT_CMD_GET_STREAM_COMPOSITION, "GetStreamComposition", "list the components of"},
      {EXT_CMD_SET_MODEL_DATA_FILE, "SetModelDataFile", "take the model data file"},
      {EXT_CMD_OPEN_CASE_WORKBOOK, "OpenCaseWorkbook", "open the workbook"},
      {EXT_CMD_SETUP_OPTIMISATION, "SetupOptimisation", "describe the optimisation problem"},
      {EXT_CMD_CHECK_INTEGER_CONTROLS, "CheckIntegerControls", "check the integer controls"},
      {EXT_CMD_GET_OBJECTIVE_FUNCTION, "GetObjectiveFunction", "read the objective"},
      {EXT_CMD_GET_CONSTRAINTS, "GetConstraints", "read constraint"},
      {EXT_CMD_GET_CONTROLS, "GetControls", "read control"},
      {EXT_CMD_SET_CONTROLS, "SetControls", "write control"},
      {EXT_CMD_START_OF_RUN, "StartOfRun", "start the run"},
      {EXT_CMD_NEXT_TIMESTEP, "NextTimestep", "move to the next timestep"},
      {EXT_CMD_GET_IPR, "GetIPR", "read output stream"},
      {EXT_CMD_SET_IPR, "SetIPR", "write input stream"},
      {EXT_CMD_END_OF_RUN, "EndOfRun", "end the run"},
      {EXT_CMD_GET_NEXT_EVENT, "GetNextEvent", "tell the next event"},
      {EXT_CMD_SET_DATE, "SetDate", "set the date"},
      {EXT_CMD_PRE_SOLVE, "PreSolve", "prepare the solve (PreSolve macro)"},
      {EXT_CMD_POST_SOLVE, "PostSolve", "finish the solve (PostSolve macro)"},
      {EXT_CMD_GET_NEXT_PUBLISHED_VARIABLE, "GetNextPublishedVariable",
       "list the published variables"},
      {EXT_CMD_EVAL_PUBLISHED_VARIABLES, "EvalPublishedVariables", "evaluate published variable"},
      {EXT_CMD_START_OF_TIMESTEP, "StartOfTimestep", "start the timestep"},
      {EXT_CMD_END_OF_TIMESTEP, "EndOfTimestep", "end the timestep"},
      {EXT_CMD_POST_SOLVE_2, "PostModuleSolve", "finish the module solve"},
      {EXT_CMD_EVAL_PUBLISHED_VARIABLES_2, "EvalPublishedVariables2",
       "evaluate the block of published variable"},
      {EXT_CMD_GET_FILE_LABEL, "GetFileLabel", "name the workbook"},
      {EXT_CMD_SET_FILE_NAME, "SetFileName", "take the workbook's name"},
  };
  for (const auto& entry : kNames) {
    if (entry.code == code) return {entry.name, entry.purpose};
  }
  return {"command", "carry out a request"};
}

}  // namespace

const char* CommandName(std::int32_t code) {
  return WordsFor(code).name;
}

const char* CommandPurpose(std::int32_t code) {
  return WordsFor(code).purpose;
}

}  // namespace refhost
