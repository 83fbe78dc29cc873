// The application object and its settings, help and the driver configuration.
#include "driver/app.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "driver/instances.h"
#include "model/scripted_dialogs.h"
#include "support/temp_registry.h"

namespace {

using test_support::TempRegistry;

std::string RegistryText(const std::string& body) {
  return "REGEDIT4\n\n" + body;
}

const std::string kConfigSection = "[HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\Config]\n";
constexpr char kDriverSection[] =
    "[HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\ExtensionDlls110_64\\Excel]\n";

TEST(AppSettingsTest, ThreadedModeFollowsTheVistaValue) {
  const struct {
    const char* name;
    std::string value;  // the line under the Config key
    bool threaded;
  } cases[] = {
      {"no value", "\"Other\"=dword:00000000\n", true},
      {"zero", "\"Vista\"=dword:00000000\n", false},
      {"one", "\"Vista\"=dword:00000001\n", true},
      {"large", "\"Vista\"=dword:7fffffff\n", true},
      {"negative", "\"Vista\"=dword:ffffffff\n", false},
      {"text", "\"Vista\"=\"0\"\n", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRegistry settings(RegistryText(kConfigSection + c.value));
    EXPECT_EQ(driver::ThreadedModeFromSettings(settings.Load()), c.threaded);
  }
}

TEST(AppSettingsTest, PlugInsAreReadAtConstructionAndWrittenBackAtExit) {
  TempRegistry settings(RegistryText(std::string(kDriverSection) +
                                     "\"PlugIns\"=\"/a/one.xlam;/b/two.xla\"\n"
                                     "\"Other\"=\"kept\"\n\n" +
                                     kConfigSection + "\"Vista\"=dword:00000000\n"));
  driver::CGridmoorApp app(settings.Load());
  app.InitInstance(settings.Load(), "/opt/gridmoor/lib");
  EXPECT_EQ(app.PlugIns(), "/a/one.xlam;/b/two.xla");
  EXPECT_FALSE(app.ThreadedMode());
  EXPECT_EQ(app.HelpFile(), std::filesystem::path("/opt/gridmoor/lib/Conflux.chm"));
  EXPECT_EQ(app.HelpViewer(), "xdg-open");

  app.SetPlugIns("/c/three.xlam");
  EXPECT_TRUE(app.ExitInstance());
  const platform::Registry written = settings.Load();
  EXPECT_EQ(written.GetString(driver::kDriverSettingsKey, "PlugIns").value, "/c/three.xlam");
  EXPECT_EQ(written.GetString(driver::kDriverSettingsKey, "Other").value, "kept");
  EXPECT_EQ(written.GetDword(driver::kConfigKey, "Vista").value, 0u);
}

// Reading a missing or mistyped value is the settings store's business; a
// store that cannot be read at all is not replaced at exit.
TEST(AppSettingsTest, AnUnreadableStoreIsLeftAlone) {
  TempRegistry broken("this is not a settings file\n");
  driver::CGridmoorApp app(platform::Registry(broken.file()));
  EXPECT_EQ(app.PlugIns(), "");
  app.SetPlugIns("/y.xlam");
  EXPECT_FALSE(app.ExitInstance());
  EXPECT_EQ(broken.Read(), "this is not a settings file\n");
}

TEST(AppHelpTest, HelpGoesThroughTheLauncherWithTheFileBesideTheLibrary) {
  TempRegistry settings(
      RegistryText(std::string(kDriverSection) + "\"HelpViewer\"=\"my-viewer --new\"\n"));
  driver::CGridmoorApp app(settings.Load());
  app.InitInstance(settings.Load(), driver::LibraryFolder());
  std::optional<driver::HelpRequest> seen;
  const driver::HelpLauncher previous =
      driver::SetHelpLauncher([&](const driver::HelpRequest& request) {
        seen = request;
        return true;
      });
  EXPECT_TRUE(app.WinHelp(77, 3));
  driver::SetHelpLauncher(previous);
  ASSERT_TRUE(seen);
  EXPECT_EQ(seen->viewer, "my-viewer --new");
  EXPECT_EQ(seen->context, 77);
  EXPECT_EQ(seen->command, 3);
  EXPECT_EQ(seen->file.filename(), "Conflux.chm");
  // Code linked into a program finds the program's folder.
  EXPECT_EQ(seen->file.parent_path(), std::filesystem::canonical("/proc/self/exe").parent_path());

  // The real launcher starts the viewer (the C host shows it opening the
  // file); a blank or missing viewer is refused.
  driver::HelpRequest request;
  request.viewer = "   ";
  EXPECT_FALSE(driver::LaunchHelpViewer(request));
  request.viewer = "/no/such/viewer";
  EXPECT_FALSE(driver::LaunchHelpViewer(request));
}

TEST(AppConfigureTest, ThePlugInListChangesOnlyWhenTheUserConfirms) {
  driver::CGridmoorApp& app = driver::CGridmoorApp::Instance();
  const std::string original = app.PlugIns();
  app.SetPlugIns("/before.xlam");
  // The library's own provider answers as a cancelled dialog.
  EXPECT_EQ(driver::Configure(nullptr), 1);
  EXPECT_EQ(app.PlugIns(), "/before.xlam");

  auto dialogs = std::make_shared<test_support::ScriptedDialogs>();
  test_support::ScopedDialogs installed(dialogs);
  dialogs->OnEditDriverSettings([](std::string& plugIns) {
    EXPECT_EQ(plugIns, "/before.xlam");
    plugIns = "/edited.xlam";
    return model::DialogResult::kCancel;
  });
  int parent = 0;
  EXPECT_EQ(driver::Configure(&parent), 1);
  EXPECT_EQ(app.PlugIns(), "/before.xlam");
  dialogs->OnEditDriverSettings([](std::string& plugIns) {
    plugIns = "/edited.xlam";
    return model::DialogResult::kOk;
  });
  EXPECT_EQ(driver::Configure(&parent), 0);
  EXPECT_EQ(app.PlugIns(), "/edited.xlam");
  EXPECT_EQ(dialogs->Calls().back().parent, &parent);
  app.SetPlugIns(original);
}

}  // namespace
