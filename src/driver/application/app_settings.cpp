#include "driver/application/app_settings.h"

#include <cstdint>

#include "excel/calc/calc_application.h"

namespace driver {

bool ThreadedModeFromSettings(const platform::Registry& settings) {
  // The rule also turns threaded mode on for Windows Vista itself; this
  // platform never is that system, so the settings value alone decides.
  const platform::RegistryRead<std::uint32_t> vista = settings.GetDword(kConfigKey, kVistaValue);
  const std::int32_t value = vista.ok() ? static_cast<std::int32_t>(vista.value) : 1;
  return value > 0;
}

std::chrono::milliseconds CallTimeoutFromSettings(const platform::Registry& settings,
                                                  const std::optional<std::string>& variable) {
  if (variable)
    if (const auto timeout = excel::calc::CallTimeoutFromText(*variable)) return *timeout;
  const platform::RegistryRead<std::uint32_t> value =
      settings.GetDword(kDriverSettingsKey, kCallTimeoutValue);
  if (value.ok() && value.value > 0) return std::chrono::seconds(value.value);
  return kDefaultCallTimeout;
}

std::string OfficePipeFromSettings(const platform::Registry& settings,
                                   const std::optional<std::string>& variable) {
  if (variable && !variable->empty()) return *variable;
  const platform::RegistryRead<std::string> value =
      settings.GetString(kDriverSettingsKey, kOfficePipeValue);
  return value.ok() ? value.value : std::string();
}

platform::Registry LoadSettings(const std::filesystem::path& file) {
  outcome::Expected<platform::Registry> loaded = platform::Registry::Load(file);
  return loaded ? std::move(*loaded) : platform::Registry(file);
}

}  // namespace driver
