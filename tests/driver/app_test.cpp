// The application object's settings, help and configuration, and the icon.
#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "driver/application/app.h"
#include "driver/application/draw_icon.h"
#include "driver/application/help_page.h"
#include "driver/instances.h"
#include "model/scripted_dialogs.h"
#include "support/temp_registry.h"

namespace {

using test_support::TempRegistry;

const std::string kConfigSection = "[HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\Config]\n";
const std::string kDriverSection =
    "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\ExtensionDlls110_64\\Excel]\n";

TEST(AppSettingsTest, ThreadedModeFollowsTheVistaValue) {
  // The line under the Config key: no value, and a negative one.
  for (const auto& [value, threaded] :
       {std::pair{"\"Other\"=dword:00000000\n", true}, {"\"Vista\"=dword:ffffffff\n", false}}) {
    TempRegistry settings("REGEDIT4\n\n" + kConfigSection + value);
    EXPECT_EQ(driver::ThreadedModeFromSettings(settings.Load()), threaded) << value;
  }
}

// A host's decimal-comma locale does not change how the variable reads.
TEST(AppSettingsTest, TheCallLimitComesFromTheVariableElseTheSettingElseTenMinutes) {
  using std::chrono::milliseconds;
  const struct {
    const char* name;
    std::string value;  // the line under the driver's key
    std::optional<std::string> variable;
    milliseconds limit;
  } cases[] = {
      {"nothing", "", std::nullopt, driver::kDefaultCallTimeout},
      {"setting", "\"OfficeCallTimeout\"=dword:0000001e\n", std::nullopt, milliseconds(30000)},
      {"setting zero", "\"OfficeCallTimeout\"=dword:00000000\n", "", driver::kDefaultCallTimeout},
      {"variable wins", "\"OfficeCallTimeout\"=dword:0000001e\n", "2.5", milliseconds(2500)},
      {"comma", "\"OfficeCallTimeout\"=dword:0000001e\n", "2,5", milliseconds(30000)},
      {"absurd variable", "", "1e999", driver::kDefaultCallTimeout},
  };
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  for (const char* locale : {"C", "de_DE.UTF-8"}) {
    ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr) << "scripts/install-deps makes it";
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.name) + " in " + locale);
      TempRegistry settings(kDriverSection + c.value);
      EXPECT_EQ(driver::CallTimeoutFromSettings(settings.Load(), c.variable), c.limit);
    }
  }
  std::setlocale(LC_ALL, previous.c_str());
}

TEST(AppSettingsTest, TheOfficePipeComesFromTheVariableElseTheSetting) {
  const struct {
    const char* name;
    std::string value;  // the line under the driver's key
    std::optional<std::string> variable;
    std::string pipe;
  } cases[] = {
      {"nothing", "", std::nullopt, ""},
      {"setting", "\"OfficePipe\"=\"warm_1\"\n", std::nullopt, "warm_1"},
      {"empty variable", "\"OfficePipe\"=\"warm_1\"\n", "", "warm_1"},
      {"variable wins", "\"OfficePipe\"=\"warm_1\"\n", "warm_2", "warm_2"},
      {"not text", "\"OfficePipe\"=dword:00000001\n", std::nullopt, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRegistry settings(kDriverSection + c.value);
    EXPECT_EQ(driver::OfficePipeFromSettings(settings.Load(), c.variable), c.pipe);
  }
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

// The page opens at the topic's anchor; a help file the settings name is
// opened instead, an HTML one at the same anchor.
TEST(AppHelpTest, TheViewerOpensTheTopicOfTheHelpPageOrTheNamedFile) {
  const struct {
    const char* name;
    std::string settings;
    int context;
    const char* target;
  } cases[] = {
      {"named page", "\"HelpFile\"=\"/srv/help pages/dialogs.HTM\"\n", 1025,
       "file:///srv/help%20pages/dialogs.HTM#topic-1025"},
      {"named other file", "\"HelpFile\"=\"/srv/help/Conflux.chm\"\n", 1020,
       "/srv/help/Conflux.chm"},
      {"empty name", "\"HelpFile\"=\"\"\n", 1020,
       "file:///opt/gridmoor/lib/Conflux.html#topic-1020"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempRegistry settings(kDriverSection + c.settings);
    driver::CGridmoorApp app(settings.Load());
    app.InitInstance(settings.Load(), "/opt/gridmoor/lib");
    EXPECT_EQ(driver::HelpTarget(app.HelpFile(), c.context), c.target);
  }
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
  int parent = 0;
  for (const auto choice : {model::DialogResult::kCancel, model::DialogResult::kOk}) {
    dialogs->OnEditDriverSettings([choice](std::string& plugIns) {
      EXPECT_EQ(plugIns, "/before.xlam");
      plugIns = "/edited.xlam";
      return choice;
    });
    const bool ok = choice == model::DialogResult::kOk;
    EXPECT_EQ(driver::Configure(&parent), ok ? 0 : 1);
    EXPECT_EQ(app.PlugIns(), ok ? "/edited.xlam" : "/before.xlam");
  }
  EXPECT_EQ(dialogs->Calls().back().parent, &parent);
  app.SetPlugIns(original);
}

TEST(DrawIconTest, PaintsOnlyTheSurfacesRowsAndLeavesBadSurfacesAlone) {
  // Rows padded to 7 pixels plus 2 bytes: the padding is never written, and
  // the unaligned rows are fine.
  const int width = 5, height = 4, stride = 7 * 4 + 2;
  std::vector<unsigned char> bytes(static_cast<std::size_t>(stride * height + 1), 0xEE);
  ExtDrawSurface surface{width, height, stride, reinterpret_cast<std::uint32_t*>(bytes.data() + 1)};
  EXPECT_EQ(driver::DrawIcon(nullptr, &surface), 1);
  for (int y = 0; y < height; ++y) {
    for (int b = width * 4; b < stride; ++b)
      ASSERT_EQ(bytes[1 + y * stride + b], 0xEE);
    std::uint32_t pixel = 0;
    std::memcpy(&pixel, bytes.data() + 1 + y * stride, 4);
    EXPECT_EQ(pixel >> 24, 0xFFu);
  }
  EXPECT_EQ(bytes[0], 0xEE);

  std::vector<std::uint32_t> pixels(16, 0x12345678);
  const ExtDrawSurface bad[] = {
      {0, 4, 16, pixels.data()},          {4, 0, 16, pixels.data()},  {-1, 4, 16, pixels.data()},
      {4, 4, 12, pixels.data()},          {4, 4, -16, pixels.data()}, {4, 4, 16, nullptr},
      {100000, 1, 400000, pixels.data()},
  };
  for (ExtDrawSurface surfaceCase : bad) {
    EXPECT_EQ(driver::DrawIcon(nullptr, &surfaceCase), 1);
    EXPECT_EQ(pixels, std::vector<std::uint32_t>(16, 0x12345678));
  }
  EXPECT_EQ(driver::DrawIcon(nullptr, nullptr), 1);
}

}  // namespace
