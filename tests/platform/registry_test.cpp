#include "platform/registry.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <tuple>
#include <utility>

#include "support/temp_registry.h"

namespace {

using platform::Registry;
using platform::RegistryStatus;

constexpr const char* kConfig = "HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\Config";
constexpr const char* kExcel =
    "HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\ExtensionDlls110_64\\Excel";

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(Registry, EveryValueKindSurvivesSaveAndLoad) {
  test_support::TempRegistry temp;
  // Name, value, and the line as it must appear in the file.
  const std::tuple<std::string, std::string, std::string> texts[] = {
      {"Quotes", R"(say "hi")", R"("Quotes"="say \"hi\"")"},
      {"Backslashes", R"(C:\dir\)", R"("Backslashes"="C:\\dir\\")"},
      {"EscapeLike", R"(\" and \\)", R"("EscapeLike"="\\\" and \\\\")"},
      {"Utf8", "Débit 油井 𝄞", R"("Utf8"="Débit 油井 𝄞")"},
      {"Empty", "", R"("Empty"="")"},
      {"Syntax", R"([x] ; "=" @= dword:1)", R"("Syntax"="[x] ; \"=\" @= dword:1")"},
      {R"(Name "q" \ x)", "v", R"("Name \"q\" \\ x"="v")"},
      {"@", "at sign", R"("@"="at sign")"},
      {"", "default text", R"(@="default text")"},
      {"Tab", "a\tb", "\"Tab\"=\"a\tb\""},
  };
  const std::tuple<std::string, std::uint32_t, std::string> dwords[] = {
      {"Ten", 10, R"("Ten"=dword:0000000a)"},
      {"Max", 0xFFFFFFFFu, R"("Max"=dword:ffffffff)"},
      {"", 0x12AB, R"(@=dword:000012ab)"},
  };
  Registry registry(temp.file());
  for (const auto& [name, value, line] : texts)
    registry.SetString(kExcel, name, value);
  for (const auto& [name, value, line] : dwords)
    registry.SetDword(kConfig, name, value);
  std::string error;
  ASSERT_TRUE(registry.Save(&error)) << error;

  const std::string file = temp.Read().value_or("");
  const Registry loaded = temp.Load();
  for (const auto& [name, value, line] : texts) {
    EXPECT_TRUE(Contains(file, line + "\n")) << line << "\n" << file;
    const auto read = loaded.GetString(kExcel, name);
    EXPECT_EQ(std::make_pair(read.status, read.value), std::make_pair(RegistryStatus::kOk, value));
  }
  for (const auto& [name, value, line] : dwords) {
    EXPECT_TRUE(Contains(file, line + "\n")) << line;
    const auto read = loaded.GetDword(kConfig, name);
    EXPECT_EQ(std::make_pair(read.status, read.value), std::make_pair(RegistryStatus::kOk, value));
  }
}

TEST(Registry, NewFileIsWrittenInTheExportLayout) {
  test_support::TempRegistry temp;
  Registry registry(temp.file());
  registry.SetDword(kConfig, "Vista", 1);
  registry.SetString(kExcel, "PlugIns", "a.xlam;b.xlam");
  registry.SetString(kConfig, "Other", "x");
  std::string error;
  ASSERT_TRUE(registry.Save(&error)) << error;
  EXPECT_EQ(temp.Read(),
            "REGEDIT4\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\Config]\n"
            "\"Vista\"=dword:00000001\n"
            "\"Other\"=\"x\"\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\ExtensionDlls110_64\\Excel]\n"
            "\"PlugIns\"=\"a.xlam;b.xlam\"\n"
            "\n");
}

TEST(Registry, MissingFileIsAnEmptyStoreAndSaveCreatesItsFolder) {
  test_support::TempRegistry temp;
  const std::filesystem::path file = temp.folder() / "not" / "yet" / "registry.reg";
  std::string error = "untouched";
  std::optional<Registry> registry = Registry::Load(file, &error);
  ASSERT_TRUE(registry.has_value());
  EXPECT_EQ(error, "untouched");
  EXPECT_EQ(registry->file(), file);
  EXPECT_FALSE(registry->HasKey(kConfig));
  EXPECT_EQ(registry->GetDword(kConfig, "Vista").status, RegistryStatus::kMissing);
  EXPECT_EQ(registry->GetString(kExcel, "PlugIns").status, RegistryStatus::kMissing);

  registry->SetString(kExcel, "PlugIns", "x.xla");
  ASSERT_TRUE(registry->Save(&error)) << error;
  ASSERT_TRUE(std::filesystem::is_regular_file(file));
  const std::optional<Registry> again = Registry::Load(file, &error);
  ASSERT_TRUE(again.has_value()) << error;
  EXPECT_EQ(again->GetString(kExcel, "PlugIns").value, "x.xla");
}

TEST(Registry, WrongTypeIsToldApartFromMissing) {
  test_support::TempRegistry temp(
      "REGEDIT4\n"
      "\n"
      "[HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\Config]\n"
      "\"Vista\"=\"1\"\n"
      "\"Count\"=dword:00000003\n"
      "\"Blob\"=hex:01,02\n"
      "\"Expand\"=hex(2):25,00,00,00\n"
      "\n"
      "[HKEY_CURRENT_USER\\Software\\Empty]\n");
  const Registry registry = temp.Load();
  struct Case {
    std::string key;
    std::string name;
    RegistryStatus asString;
    RegistryStatus asDword;
  } cases[] = {
      {kConfig, "Vista", RegistryStatus::kOk, RegistryStatus::kWrongType},
      {kConfig, "Count", RegistryStatus::kWrongType, RegistryStatus::kOk},
      {kConfig, "Blob", RegistryStatus::kWrongType, RegistryStatus::kWrongType},
      {kConfig, "Expand", RegistryStatus::kWrongType, RegistryStatus::kWrongType},
      {kConfig, "Nothing", RegistryStatus::kMissing, RegistryStatus::kMissing},
      {kConfig, "", RegistryStatus::kMissing, RegistryStatus::kMissing},
      {"HKEY_CURRENT_USER\\Software\\Empty", "x", RegistryStatus::kMissing,
       RegistryStatus::kMissing},
      {"HKEY_CURRENT_USER\\Software\\Absent", "Vista", RegistryStatus::kMissing,
       RegistryStatus::kMissing},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(registry.GetString(c.key, c.name).status, c.asString) << c.name;
    EXPECT_EQ(registry.GetDword(c.key, c.name).status, c.asDword) << c.name;
    EXPECT_EQ(registry.GetDword(c.key, c.name).ok(), c.asDword == RegistryStatus::kOk);
  }
  EXPECT_EQ(registry.GetDword(kConfig, "Count").value, 3u);

  // Setting a value replaces its type.
  Registry store(temp.file());
  store.SetString(kConfig, "Vista", "1");
  store.SetDword(kConfig, "Vista", 0);
  EXPECT_EQ(store.GetString(kConfig, "Vista").status, RegistryStatus::kWrongType);
  EXPECT_EQ(store.GetDword(kConfig, "Vista").value, 0u);
  store.SetString(kConfig, "Vista", "text");
  EXPECT_EQ(store.GetDword(kConfig, "Vista").status, RegistryStatus::kWrongType);
  EXPECT_EQ(store.GetString(kConfig, "Vista").value, "text");
}

TEST(Registry, KeyAndValueNamesCompareWithoutCase) {
  test_support::TempRegistry temp(
      "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\Config]\n\"Vista\"=dword:"
      "00000000\n");
  Registry registry = temp.Load();
  EXPECT_EQ(
      registry.GetDword("hkey_current_user\\SOFTWARE\\orvane\\conflux\\config", "VISTA").status,
      RegistryStatus::kOk);
  EXPECT_TRUE(registry.HasKey("HKEY_CURRENT_USER\\software\\ORVANE"));
  EXPECT_TRUE(registry.HasKey(std::string(kConfig) + "\\"));

  registry.SetDword("HKEY_CURRENT_USER\\SOFTWARE\\Orvane\\Conflux\\CONFIG", "vista", 7);
  std::string error;
  ASSERT_TRUE(registry.Save(&error)) << error;
  // Updated in place, first spelling kept, no second entry.
  EXPECT_EQ(temp.Read(),
            "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\Config]\n"
            "\"Vista\"=dword:00000007\n\n");
}

TEST(Registry, KeyExistsWhenItOrAKeyBelowItIsStored) {
  Registry registry("unused.reg");
  registry.SetString("HKEY_CURRENT_USER\\Software\\A\\B", "x", "y");
  for (const char* key :
       {"HKEY_CURRENT_USER\\Software\\A\\B", "HKEY_CURRENT_USER\\Software\\A", "HKEY_CURRENT_USER"})
    EXPECT_TRUE(registry.HasKey(key)) << key;
  for (const char* key :
       {"HKEY_CURRENT_USER\\Software\\A\\B\\C", "HKEY_CURRENT_USER\\Software\\A\\Bx",
        "HKEY_CURRENT_USER\\Software\\AB", ""})
    EXPECT_FALSE(registry.HasKey(key)) << key;
}

TEST(Registry, NamesTheFileCannotHoldAreRefused) {
  test_support::TempRegistry temp;
  Registry registry(temp.file());
  registry.SetString("", "x", "y");
  registry.SetString("\\", "x", "y");
  registry.SetString("-HKEY_CURRENT_USER\\X", "x", "y");  // would read back as a deletion
  registry.SetString("HKEY_CURRENT_USER\\X\nY", "x", "y");
  registry.SetDword(kConfig, "two\nlines", 1);
  registry.SetString(kConfig, "ok", "y");
  EXPECT_FALSE(registry.HasKey("-HKEY_CURRENT_USER\\X"));
  EXPECT_EQ(registry.GetDword(kConfig, "two\nlines").status, RegistryStatus::kMissing);
  std::string error;
  ASSERT_TRUE(registry.Save(&error)) << error;
  const Registry loaded = temp.Load();
  EXPECT_EQ(loaded.GetString(kConfig, "ok").value, "y");
}

TEST(Registry, SaveReportsFailureAndKeepsTheOldFile) {
  test_support::TempRegistry temp("REGEDIT4\n");
  Registry blocked(temp.file() / "registry.reg");  // a folder is needed where a file is
  blocked.SetDword(kConfig, "Vista", 1);
  std::string error;
  EXPECT_FALSE(blocked.Save(&error));
  EXPECT_TRUE(Contains(error, temp.file().string())) << error;
  EXPECT_EQ(temp.Read(), "REGEDIT4\n");

  Registry nowhere{std::filesystem::path()};
  EXPECT_FALSE(nowhere.Save(&error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(nowhere.Save());  // no error text wanted
}

TEST(Registry, DefaultPathPrecedence) {
  struct Case {
    std::optional<std::string> registry;
    std::optional<std::string> xdg;
    std::optional<std::string> home;
    std::string expected;
  } cases[] = {
      {"/r/custom.reg", "/x", "/h", "/r/custom.reg"},
      {"relative.reg", "/x", "/h", "relative.reg"},
      {"", "/x", "/h", "/x/gridmoor/registry.reg"},
      {std::nullopt, "/x", "/h", "/x/gridmoor/registry.reg"},
      {std::nullopt, "", "/h", "/h/.config/gridmoor/registry.reg"},
      {std::nullopt, "not/absolute", "/h", "/h/.config/gridmoor/registry.reg"},
      {std::nullopt, std::nullopt, "/h", "/h/.config/gridmoor/registry.reg"},
  };
  for (const Case& c : cases) {
    test_support::ScopedEnv registry("GRIDMOOR_REGISTRY", c.registry);
    test_support::ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg);
    test_support::ScopedEnv home("HOME", c.home);
    EXPECT_EQ(Registry::DefaultPath(), std::filesystem::path(c.expected)) << c.expected;
  }

  // Without HOME the user database names the home folder.
  test_support::ScopedEnv registry("GRIDMOOR_REGISTRY", std::nullopt);
  test_support::ScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
  test_support::ScopedEnv home("HOME", std::nullopt);
  const passwd* user = ::getpwuid(::getuid());
  if (user != nullptr && user->pw_dir != nullptr && *user->pw_dir != '\0') {
    EXPECT_EQ(Registry::DefaultPath(),
              std::filesystem::path(user->pw_dir) / ".config/gridmoor/registry.reg");
  }
}

}  // namespace
