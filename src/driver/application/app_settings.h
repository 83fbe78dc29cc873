// The driver-wide settings in the settings store (platform::Registry), under
// HKEY_CURRENT_USER: where each lives, and the rules that read threaded mode
// and the office call limit.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/registry.h"

namespace driver {

inline constexpr char kDriverSettingsKey[] =
    "HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\ExtensionDlls110_64\\Excel";
inline constexpr char kPlugInsValue[] = "PlugIns";
// The program that opens the help file (REG_SZ under kDriverSettingsKey);
// words separated by blanks, the file is passed as the last argument.
inline constexpr char kHelpViewerValue[] = "HelpViewer";
// How long one call into the office may take, in seconds (REG_DWORD under
// kDriverSettingsKey; 0 or missing: 10 minutes). GRIDMOOR_CALL_TIMEOUT (seconds,
// fractions allowed) overrides it, for tests.
inline constexpr char kCallTimeoutValue[] = "OfficeCallTimeout";
inline constexpr char kCallTimeoutVariable[] = "GRIDMOOR_CALL_TIMEOUT";
inline constexpr std::chrono::milliseconds kDefaultCallTimeout{10 * 60 * 1000};
// The pipe of an office another process started, to attach to instead of
// starting one (REG_SZ under kDriverSettingsKey; missing or empty: the
// driver starts its own). GRIDMOOR_OFFICE_PIPE overrides it, for tests and
// for run-many's children.
inline constexpr char kOfficePipeValue[] = "OfficePipe";
inline constexpr char kOfficePipeVariable[] = "GRIDMOOR_OFFICE_PIPE";
inline constexpr char kConfigKey[] = "HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\Config";
inline constexpr char kVistaValue[] = "Vista";

// Threaded mode: when the "Vista" value is greater than 0. A value that is
// missing or not a DWORD counts as 1; the DWORD is read as a signed number.
bool ThreadedModeFromSettings(const platform::Registry& settings);

// The call limit from the settings and the environment variable's value
// (which wins when it is a positive number of seconds).
std::chrono::milliseconds CallTimeoutFromSettings(const platform::Registry& settings,
                                                  const std::optional<std::string>& variable);

// The office pipe from the settings and the environment variable's value
// (which wins when not empty); empty: no office to attach to.
std::string OfficePipeFromSettings(const platform::Registry& settings,
                                   const std::optional<std::string>& variable);

// The settings store in `file`; an unreadable one counts as empty, since
// settings failures are silent.
platform::Registry LoadSettings(const std::filesystem::path& file);

}  // namespace driver
