// The run-time events of a host run. Each event may name a workbook macro
// (caseDetails.macros) and whether the run date goes with it
// (caseDetails.passDate), both indexed by the event number below. This table
// says where the host reaches each event and how the user and the data
// server name it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "casedata/case_details.h"
#include "values/host_values.h"

namespace model {

// Event numbers: the index into caseDetails.macros and caseDetails.passDate.
inline constexpr std::size_t kStartOfTimestepEvent = 0;
inline constexpr std::size_t kEndOfTimestepEvent = 1;
inline constexpr std::size_t kPreSolveEvent = 2;
inline constexpr std::size_t kPostSolveEvent = 3;
inline constexpr std::size_t kStartOfRunEvent = 4;
inline constexpr std::size_t kEndOfRunEvent = 5;
inline constexpr std::size_t kPostSolve2Event = 6;

struct RunEventInfo {
  std::size_t event;
  std::string_view label;      // shown to the user
  std::string_view operation;  // the driver-interface operation the host calls
  int slot;                    // its place in the driver interface
  // The host command codes that reach it; the second is 0 when there is one.
  std::array<int, 2> hostCodes;
  // Data-server keys of the macro name and of the pass-date flag; an alias
  // is empty when the event has none.
  std::string_view macroKey;
  std::string_view macroAlias;
  std::string_view flagKey;
  std::string_view flagAlias;
};

// Indexed by event number.
inline constexpr std::array<RunEventInfo, casedata::kEventCount> kRunEvents = {{
    {kStartOfTimestepEvent,
     "Start Of Timestep",
     "OnStartOfTimestep",
     43,
     {values::kStartOfTimestepCommand, 0},
     "StartOfTimestepMacro",
     "Macro",
     "PassDateToStartOfTimestepMacro",
     "PassDateToMacro"},
    {kEndOfTimestepEvent,
     "End Of Timestep",
     "OnEndOfTimestep",
     44,
     {values::kEndOfTimestepCommand, 0},
     "EndOfTimestepMacro",
     "",
     "PassDateToEndOfTimestepMacro",
     ""},
    {kPreSolveEvent,
     "Pre-module solve",
     "OnPreSolve",
     38,
     {values::kPreSolveCommand, 0},
     "PreSolveMacro",
     "",
     "PassDateToPreSolveMacro",
     ""},
    {kPostSolveEvent,
     "Post-system solve",
     "OnPostSolve",
     39,
     {values::kPostSolveCommand, 0},
     "PostSolveMacro",
     "",
     "PassDateToPostSolveMacro",
     ""},
    {kStartOfRunEvent,
     "Start Of Run",
     "OnStartOfRun",
     5,
     {values::kStartOfRunCommand, 0},
     "StartOfRunMacro",
     "",
     "PassDateToStartOfRunMacro",
     ""},
    {kEndOfRunEvent,
     "End Of Run",
     "OnEndOfRun",
     15,
     {values::kEndOfRunCommand, values::kStopRunCommand},
     "EndOfRunMacro",
     "",
     "PassDateToEndOfRunMacro",
     ""},
    {kPostSolve2Event,
     "Post-module solve",
     "OnPostSolve2",
     40,
     {values::kPostSolve2Command, 0},
     "PostSolve2Macro",
     "",
     "PassDateToPostSolve2Macro",
     ""},
}};

// The order in which the macro configuration lists the events: as they
// happen within a timestep, then the run's own.
inline constexpr std::array<std::size_t, casedata::kEventCount> kRunEventDisplayOrder = {
    kStartOfTimestepEvent, kEndOfTimestepEvent, kPreSolveEvent, kPostSolve2Event,
    kPostSolveEvent,       kStartOfRunEvent,    kEndOfRunEvent};

// The two forms of macro the driver runs, as the configuration shows them.
inline constexpr std::string_view kMacroFormTimestep = "Sub amacro(timestep As Integer)";
inline constexpr std::string_view kMacroFormTimestepAndDate =
    "Sub amacro(timestep As Integer, dt As String)";

// Which setting of an event a data-server key names.
enum class EventSetting { kMacro, kPassDate };

struct EventKey {
  std::size_t event;
  EventSetting setting;

  friend bool operator==(const EventKey&, const EventKey&) = default;
};

// The event setting a data-server key (or alias) names, or none. Keys are
// compared without regard to ASCII case, as every data-server name is.
std::optional<EventKey> FindEventKey(std::string_view key);

}  // namespace model
