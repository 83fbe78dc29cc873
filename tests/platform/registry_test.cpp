// The settings store: values and keys, the file it keeps them in (as
// Windows exports them and as people edit them by hand) and where that file
// is.
#include "platform/registry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <tuple>

#include "platform/files.h"
#include "support/temp_registry.h"
#include "text/utf8.h"

namespace {

using platform::Registry;
using platform::RegistryStatus;

constexpr const char* kConfig = "HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\Config";
constexpr const char* kExcel =
    "HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\ExtensionDlls110_64\\Excel";

// A missing file is an empty store; saving makes its folder and writes every
// value kind in the export layout, as it loads back.
TEST(Registry, EveryValueKindIsSavedInTheExportLayoutAndLoadsBack) {
  test_support::TempRegistry temp;
  const std::filesystem::path file = temp.folder() / "not" / "yet" / "registry.reg";
  outcome::Expected<Registry> registry = Registry::Load(file);
  ASSERT_TRUE(registry) << registry.GetError().Message();
  EXPECT_FALSE(registry->HasKey(kConfig));
  EXPECT_EQ(registry->GetDword(kConfig, "Vista").status, RegistryStatus::kMissing);

  // Name, value, and the line as it must appear in the file.
  const std::tuple<std::string, std::uint32_t, std::string> dwords[] = {
      {"Ten", 10, R"("Ten"=dword:0000000a)"},
      {"Max", 0xFFFFFFFFu, R"("Max"=dword:ffffffff)"},
      {"", 0x12AB, R"(@=dword:000012ab)"}};
  const std::tuple<std::string, std::string, std::string> texts[] = {
      {"EscapeLike", R"(C:\dir\ \" and \\)", R"("EscapeLike"="C:\\dir\\ \\\" and \\\\")"},
      {"Utf8", "Débit 油井 𝄞", R"("Utf8"="Débit 油井 𝄞")"},
      {"Empty", "", R"("Empty"="")"},
      {"Syntax", R"([x] ; "=" @= dword:1)", R"("Syntax"="[x] ; \"=\" @= dword:1")"},
      {R"(Name "q" \ x)", "v", R"("Name \"q\" \\ x"="v")"},
      {"@", "at sign", R"("@"="at sign")"},
      {"", "default text", R"(@="default text")"},
      {"Tab", "a\tb", "\"Tab\"=\"a\tb\""}};
  std::string expected = "REGEDIT4\n\n[" + std::string(kConfig) + "]\n";
  for (const auto& [name, value, line] : dwords) {
    registry->SetDword(kConfig, name, value);
    expected += line + "\n";
  }
  expected += "\n[" + std::string(kExcel) + "]\n";
  for (const auto& [name, value, line] : texts) {
    registry->SetString(kExcel, name, value);
    expected += line + "\n";
  }
  const outcome::Error saved = registry->Save();
  ASSERT_FALSE(saved) << saved.Message();
  std::error_code ec;
  EXPECT_EQ(platform::ReadWholeFile(file, &ec), expected + "\n");

  const outcome::Expected<Registry> loaded = Registry::Load(file);
  ASSERT_TRUE(loaded) << loaded.GetError().Message();
  for (const auto& [name, value, line] : dwords) {
    const auto read = loaded->GetDword(kConfig, name);
    EXPECT_TRUE(read.ok() && read.value == value) << name;
  }
  for (const auto& [name, value, line] : texts) {
    const auto read = loaded->GetString(kExcel, name);
    EXPECT_TRUE(read.ok() && read.value == value) << name;
  }

  // Setting a value replaces its type.
  registry->SetString(kConfig, "Ten", "text");
  EXPECT_EQ(registry->GetDword(kConfig, "Ten").status, RegistryStatus::kWrongType);
  registry->SetDword(kConfig, "Ten", 0);
  EXPECT_EQ(registry->GetString(kConfig, "Ten").status, RegistryStatus::kWrongType);
}

// Writing the file is files' (tested there); the store passes its failure on.
TEST(Registry, SaveReportsFailure) {
  test_support::TempRegistry temp("REGEDIT4\n");
  Registry blocked(temp.file() / "registry.reg");  // a folder is needed where a file is
  EXPECT_THAT(blocked.Save().Message(), testing::HasSubstr(temp.file().string()));
  Registry nowhere{std::filesystem::path()};
  EXPECT_THAT(nowhere.Save().Message(), testing::HasSubstr("no settings file location"));
}

TEST(Registry, DefaultPathPrecedence) {
  using Env = std::optional<std::string>;
  // GRIDMOOR_REGISTRY, XDG_CONFIG_HOME, HOME, and the file they name.
  const std::tuple<Env, Env, Env, std::string> cases[] = {
      {"/r/custom.reg", "/x", "/h", "/r/custom.reg"},
      {"", "/x", "/h", "/x/gridmoor/registry.reg"},
      {std::nullopt, "", "/h", "/h/.config/gridmoor/registry.reg"},
      {std::nullopt, "not/absolute", "/h", "/h/.config/gridmoor/registry.reg"}};
  for (const auto& [file, xdg, home, expected] : cases) {
    test_support::ScopedEnv registry("GRIDMOOR_REGISTRY", file);
    test_support::ScopedEnv config("XDG_CONFIG_HOME", xdg);
    test_support::ScopedEnv user("HOME", home);
    EXPECT_EQ(Registry::DefaultPath(), std::filesystem::path(expected)) << expected;
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

std::string Crlf(std::string_view lf) {
  std::string out;
  for (char c : lf) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

void ReplaceOnce(std::string& text, std::string_view from, std::string_view to) {
  const std::size_t at = text.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  text.replace(at, from.size(), to);
}

// As the Windows editor writes it, with comments added by hand.
const std::string kWindowsExport = Crlf(
    "Windows Registry Editor Version 5.00\n"
    "\n"
    "; Conflux settings, edited by hand\n"
    "[HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\Config]\n"
    "\"Vista\"=dword:00000000\n"
    "; expandable path: %USERPROFILE%\\a\n"
    "\"Path\"=hex(2):25,00,55,00,53,00,45,00,52,00,50,00,52,00,4f,00,46,00,49,00,4c,00,\\\n"
    "  45,00,25,00,5c,00,61,00,00,00\n"
    "\"Blob\"=hex:01,02,ff\n"
    "\"Big\"=hex(b):00,00,00,00,00,00,00,01\n"
    "\"List\"=hex(7):61,00,00,00,62,00,00,00,00,00\n"
    "\n"
    "[HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\ExtensionDlls110_64\\Excel]\n"
    "\"PlugIns\"=\"C:\\\\Add-ins\\\\solver.xlam;D:\\\\x.xla\"\n"
    "@=\"\"\n"
    "\n"
    "[HKEY_CLASSES_ROOT\\Excel.Application.16]\n"
    "@=\"calc\"\n"
    "\n"
    "[HKEY_CLASSES_ROOT\\Excel.Application.16\\CLSID]\n"
    "@=\"{00024500-0000-0000-C000-000000000046}\"\n"
    "\n"
    "; end of file\n");

TEST(RegistryFormat, ReadsAWindowsExportAndRewritesItKeepingWhatItDoesNotChange) {
  test_support::TempRegistry temp(kWindowsExport);
  Registry registry = temp.Load();
  EXPECT_EQ(registry.GetDword(kConfig, "Vista").value, 0u);
  EXPECT_EQ(registry.GetString(kExcel, "PlugIns").value, "C:\\Add-ins\\solver.xlam;D:\\x.xla");
  EXPECT_EQ(registry.GetString("HKEY_CLASSES_ROOT\\Excel.Application.16", "").value, "calc");
  EXPECT_EQ(registry.GetString("HKEY_CLASSES_ROOT\\excel.application.16\\clsid", "").value,
            "{00024500-0000-0000-C000-000000000046}");
  EXPECT_FALSE(registry.HasKey("HKEY_CLASSES_ROOT\\Excel.Application.15"));
  using enum RegistryStatus;
  const std::tuple<std::string, std::string, RegistryStatus, RegistryStatus> types[] = {
      {kConfig, "Vista", kWrongType, kOk},
      {kExcel, "PlugIns", kOk, kWrongType},
      {kConfig, "Path", kWrongType, kWrongType},  // expandable text
      {kConfig, "Blob", kWrongType, kWrongType},
      {kConfig, "", kMissing, kMissing},
      {"HKEY_CURRENT_USER\\Software\\Absent", "Vista", kMissing, kMissing}};
  for (const auto& [key, name, asString, asDword] : types) {
    EXPECT_EQ(registry.GetString(key, name).status, asString) << name;
    EXPECT_EQ(registry.GetDword(key, name).status, asDword) << name;
  }

  ASSERT_EQ(registry.Save().Message(), "") << "saved";
  EXPECT_EQ(temp.Read(), kWindowsExport);  // header, CRLF, comments, hex data
  registry.SetDword(kConfig, "Vista", 1);
  registry.SetString("HKEY_CURRENT_USER\\Software\\New", "x", "y");
  ASSERT_EQ(registry.Save().Message(), "") << "saved";
  std::string expected = kWindowsExport;
  ReplaceOnce(expected, "\"Vista\"=dword:00000000", "\"Vista\"=dword:00000001");
  ReplaceOnce(expected, "\r\n; end of file",
              "\r\n[HKEY_CURRENT_USER\\Software\\New]\r\n\"x\"=\"y\"\r\n\r\n; end of file");
  EXPECT_EQ(temp.Read(), expected);
}

TEST(RegistryFormat, ToleratesHandEditing) {
  test_support::TempRegistry temp(
      "regedit4\n"
      "   \n"
      "\t; indented comment\n"
      "  [HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\Config]  \n"
      "  \"Upper\" = dword:DEADBEEF \n"
      "\"Short\"=DWORD:a\n"
      "\"Path\"=\"C:\\dir\\file.xls\"   \n"
      "\"Quoted\"=\"C:\\\\dir\\\\\"\n"
      "\"\"=\"empty name is the default\"\n"
      // Deletion lines remove what came before them.
      "[HKEY_CURRENT_USER\\Software\\Gone\\Child]\n"
      "\"b\"=\"2\"\n"
      "[HKEY_CURRENT_USER\\Software\\Back]\n"
      "\"c\"=\"3\"\n"
      "[-HKEY_CURRENT_USER\\Software\\Gone]\n"
      "[-HKEY_CURRENT_USER\\Software\\Back]\n"
      "[HKEY_CURRENT_USER\\Software\\Back]\n"
      "\"d\"=\"4\"\n"
      "\"e\"=\"5\"\n"
      "\"E\"=-\n"
      "\"never\"=-\n"
      "[HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\Config]\n"
      "\"Short\"=dword:0000000b");  // no line end at the end of the file
  Registry registry = temp.Load();
  // Keys and names compare without case; a key exists when a key below it does.
  EXPECT_EQ(
      registry.GetDword("hkey_current_user\\SOFTWARE\\orvane\\conflux\\config", "UPPER").value,
      0xDEADBEEFu);
  for (const std::string& key :
       {std::string(kConfig) + "\\", std::string("HKEY_CURRENT_USER\\software\\ORVANE")})
    EXPECT_TRUE(registry.HasKey(key)) << key;
  for (const char* key : {"HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\Config\\C",
                          "HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\Con", ""})
    EXPECT_FALSE(registry.HasKey(key)) << key;
  EXPECT_EQ(registry.GetDword(kConfig, "Short").value, 11u);  // the later line wins
  EXPECT_EQ(registry.GetString(kConfig, "Path").value, "C:\\dir\\file.xls");
  EXPECT_EQ(registry.GetString(kConfig, "Quoted").value, "C:\\dir\\");
  EXPECT_EQ(registry.GetString(kConfig, "").value, "empty name is the default");
  const std::string back = "HKEY_CURRENT_USER\\Software\\Back";
  EXPECT_FALSE(registry.HasKey("HKEY_CURRENT_USER\\Software\\Gone"));
  EXPECT_EQ(registry.GetString(back, "c").status, RegistryStatus::kMissing);
  EXPECT_EQ(registry.GetString(back, "d").value, "4");
  EXPECT_EQ(registry.GetString(back, "e").status, RegistryStatus::kMissing);

  registry.SetString("HKEY_CURRENT_USER\\SOFTWARE\\Orvane\\Conflux\\CONFIG", "path", "C:\\new");
  ASSERT_EQ(registry.Save().Message(), "") << "saved";
  const std::string saved = temp.Read().value_or("");
  EXPECT_THAT(saved, testing::StartsWith("REGEDIT4\n"));
  EXPECT_THAT(saved, testing::HasSubstr("\"Path\"=\"C:\\\\new\"\n"));
  EXPECT_EQ(saved.find("[HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\Config]"),
            saved.rfind("[HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\Config]"))
      << "a key repeated in the file, or set in another case, is one section";
  EXPECT_EQ(saved.find("\"path\""), std::string::npos) << "updated in place, first spelling kept";
}

TEST(RegistryFormat, TextWithLineBreaksUsesTheHexadecimalStringForm) {
  for (const char* header : {"REGEDIT4", "Windows Registry Editor Version 5.00"}) {
    test_support::TempRegistry temp(std::string(header) + "\n");
    Registry registry = temp.Load();
    const std::string text =
        "first line\r\nsecond \"line\" é\nthird, long enough to wrap: " + std::string(60, 'x');
    registry.SetString(kConfig, "Notes", text);
    ASSERT_EQ(registry.Save().Message(), "") << "saved";
    EXPECT_THAT(temp.Read().value_or(""),
                testing::AllOf(testing::HasSubstr("\"Notes\"=hex(1):"),
                               testing::HasSubstr(",\\\n  ")));  // long data is continued
    EXPECT_EQ(temp.Load().GetString(kConfig, "Notes").value, text) << header;
  }
}

TEST(RegistryFormat, ReadsUtf16FilesAndByteOrderMarks) {
  const std::string utf8 =
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\T]\r\n"
      "\"Name\"=\"Débit 𝄞\"\r\n"
      "\"Wide\"=hex(1):48,00,e9,00,00,00\r\n";
  std::string utf16 = "\xFF\xFE";
  for (char16_t unit : text::Utf8ToUtf16(utf8)) {
    utf16 += static_cast<char>(unit & 0xFF);
    utf16 += static_cast<char>(unit >> 8);
  }
  for (const std::string& text : {utf8, "\xEF\xBB\xBF" + utf8, utf16}) {
    test_support::TempRegistry temp(text);
    const Registry registry = temp.Load();
    EXPECT_EQ(registry.GetString("HKEY_CURRENT_USER\\Software\\T", "Name").value, "Débit 𝄞");
    EXPECT_EQ(registry.GetString("HKEY_CURRENT_USER\\Software\\T", "Wide").value, "Hé");
  }
}

TEST(RegistryFormat, EmptyFilesAreEmptyStoresAndMalformedOnesAnErrorNamingTheLine) {
  for (const char* text : {"", "\n\n", "  \r\n\t\r\n", "\xEF\xBB\xBF"}) {
    test_support::TempRegistry temp(text);
    const outcome::Expected<Registry> registry = Registry::Load(temp.file());
    ASSERT_TRUE(registry) << registry.GetError().Message();
    EXPECT_FALSE(registry->HasKey("HKEY_CURRENT_USER"));
  }

  struct Case {
    std::string text;
    int line;
    std::string says;
  } cases[] = {{"garbage\n[K]\n", 1, "REGEDIT4"},
               {"REGEDIT4\n\"a\"=\"b\"\n", 2, "before any key"},
               {"REGEDIT4\n\n[K]\n\"a\"=\"b\n", 4, "closing quote"},
               {"REGEDIT4\n[K]\n\"a\"=dword:123456789\n", 3, "dword"},
               {"REGEDIT4\n[K]\nname=value\n", 3, "not a key, value or comment"},
               {"REGEDIT4\n[K\n", 2, "']'"},
               {"REGEDIT4\n[]\n", 2, "empty key"},
               {"REGEDIT4\n[K]\n\"a\"=hex:01,\\\n", 3, "past the end"},
               {"REGEDIT4\n[K]\n\"a\"=hex:0g\n", 3, "hexadecimal"},
               {"REGEDIT4\n[K]\n\"a\"=hex(2):01,\\\n  zz\n\"b\"=\"c\"\n", 3, "hexadecimal"},
               {"REGEDIT4\n[-K]\n\"a\"=\"b\"\n", 3, "deleted key"},
               {"REGEDIT4\n[K]\n\"a\"=\"b\" trailing\n", 3, "after the closing quote"},
               {"REGEDIT4\n[K]\n\"a\"=str:x\n", 3, "unknown form"},
               {"REGEDIT4\r\n[K]\r\n\r\n\"a=\"b\"\r\n", 4, "expected '='"},
               {std::string("\xFE\xFF\0R", 4), 0, "big-endian"}};
  for (const Case& c : cases) {
    test_support::TempRegistry temp(c.text);
    const outcome::Expected<Registry> registry = Registry::Load(temp.file());
    EXPECT_FALSE(registry) << c.text;
    const std::string line = c.line > 0 ? "line " + std::to_string(c.line) + ":" : "";
    EXPECT_THAT(registry.GetError().Message(),
                testing::AllOf(testing::HasSubstr(line), testing::HasSubstr(c.says),
                               testing::HasSubstr(temp.file().string())));
  }
  test_support::TempRegistry temp;
  const outcome::Expected<Registry> folder = Registry::Load(temp.folder());
  EXPECT_FALSE(folder) << "a folder is no file";
  EXPECT_THAT(folder.GetError().Message(), testing::HasSubstr(temp.folder().string()));
}

}  // namespace
