// How a connected keyboard is read: which firmware runs, and whether its version asks for the update.

#include "ControllerFixture.h"
#include "FakeKeyboard.h"

namespace vorn::testing {
namespace {

class VersionDecision : public ControllerTest {
 protected:
  // A dialog holding a keyboard that runs application firmware, put back to state 1 so a reading
  // that decides nothing leaves a state no decision gives.
  CVornDFUDlg& with_keyboard() {
    CVornDFUDlg& dlg = open_dialog_with_small_images();
    dlg.onDeviceArrival(keyboard);
    dlg.OnMessage(kSwitchStateMessage, kWaitingForConnection);
    return dlg;
  }

  std::shared_ptr<FakeKeyboard> keyboard = std::make_shared<FakeKeyboard>();
};

TEST_F(VersionDecision, VersionTextsAgainstThePackageVersion) {
  struct Case {
    const char* version;
    bool force;
    int state;
    const wchar_t* read;  // the logged reading; null when the text is not read
  };
  const Case cases[] = {
      {"5.1.17", false, kNoUpdateNeeded, L"minor=1, build=17"},
      {"5.1.16", false, kUpdateAvailable, L"minor=1, build=16"},
      {"5.0.99", false, kUpdateAvailable, L"minor=0, build=99"},
      {"4.0.0", false, kUpdateAvailable, L"minor=0, build=0"},
      {"5.2.0", false, kNoUpdateNeeded, L"minor=2, build=0"},
      {"5.1.9917", false, kNoUpdateNeeded, L"minor=1, build=17"},
      {"5.1.0017", false, kNoUpdateNeeded, L"minor=1, build=17"},
      {"5.1.9916", false, kUpdateAvailable, L"minor=1, build=16"},
      {"5.1.99170", false, kNoUpdateNeeded, L"minor=1, build=33634"},  // five characters: no "99" rule
      {"9.1.17 beta", false, kNoUpdateNeeded, L"minor=1, build=17"},   // trailing text after the digits
      {"5..17", false, kUpdateAvailable, L"minor=0, build=17"},
      {"5.65537.0", false, kUpdateAvailable, L"minor=1, build=0"},     // kept to 16 bits
      {"5.1", false, kWaitingForConnection, nullptr},
      {"", false, kWaitingForConnection, nullptr},
      {"5.1.17", true, kUpdateAvailable, L"minor=1, build=17"},
      {"5.2.0", true, kUpdateAvailable, L"minor=2, build=0"},
      {"5.1", true, kWaitingForConnection, nullptr},
  };
  CVornDFUDlg& dlg = with_keyboard();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.version) + (c.force ? " forced" : ""));
    dlg.OnMessage(kSwitchStateMessage, kWaitingForConnection);
    options_.force = c.force;
    keyboard->info->version = c.version;
    const std::size_t before = messages().size();
    dlg.onConnect(keyboard, false);
    EXPECT_EQ(dlg.state(), c.state);
    std::vector<std::wstring> readings;
    const std::vector<std::wstring> lines = messages();
    for (std::size_t i = before; i < lines.size(); ++i) {
      if (lines[i].rfind(L"f0003=>GetFwFormattedVersion: ", 0) == 0) readings.push_back(lines[i]);
    }
    if (c.read) {
      EXPECT_EQ(readings, std::vector<std::wstring>{L"f0003=>GetFwFormattedVersion: " + std::wstring(c.read) + L"\n"});
    } else {
      EXPECT_TRUE(readings.empty());
    }
  }
}

TEST_F(VersionDecision, TheRunningEntityDecidesWhichFirmwareIsTalkingToUs) {
  struct Case {
    const char* name;
    std::vector<FakeEntity> entities;
    bool count_readable;
    int state;
    const wchar_t* logged;
  };
  const Case cases[] = {
      {"application", {{"BOT", 0}, {"QRX", 1}}, true, kUpdateAvailable, nullptr},
      {"bootloader", {{"QRX", 0}, {"BOT", 1}}, true, kSendingFirstImage, nullptr},
      {"an unreadable entity is skipped", {{"BOT", 1, false}, {"QRX", 1}}, true, kUpdateAvailable, nullptr},
      {"the first running entity counts", {{"QRX", 1}, {"BOT", 1}}, true, kUpdateAvailable, nullptr},
      {"no entity runs", {{"QRX", 0}, {"BOT", 0}}, true, kWaitingForConnection, nullptr},
      {"running needs exactly rdnf 1", {{"QRX", 3}}, true, kWaitingForConnection, nullptr},
      {"another prefix", {{"QRY", 1}}, true, kWaitingForConnection, nullptr},
      {"the whole prefix compares", {{"BOTX", 1}}, true, kWaitingForConnection, nullptr},
      {"no count", {{"QRX", 1}}, false, kWaitingForConnection,
       L"  unable to get the count of the entities from the feature 0x0003\n"},
  };
  CVornDFUDlg& dlg = with_keyboard();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dlg.OnMessage(kSwitchStateMessage, kWaitingForConnection);
    keyboard->info->entities = c.entities;
    keyboard->info->count_readable = c.count_readable;
    dlg.onConnect(keyboard, true);
    EXPECT_EQ(dlg.state(), c.state);
    if (c.logged) EXPECT_TRUE(logged(c.logged));
  }
  EXPECT_TRUE(logged(L"Device 0xb3f1 is connected. [settings_retained(true)]\n"));
}

TEST_F(VersionDecision, MissingFeaturesAndUnreadableVersionsChangeNothing) {
  CVornDFUDlg& dlg = with_keyboard();

  keyboard->info->version_readable = false;
  dlg.onConnect(keyboard, false);
  EXPECT_TRUE(logged(L"  GetFwFormattedVersion failed\n"));
  EXPECT_EQ(dlg.state(), kWaitingForConnection);

  keyboard->control.reset();
  dlg.onConnect(keyboard, false);
  EXPECT_TRUE(logged(L"  unable to get feature 0x00c2\n"));
  EXPECT_EQ(dlg.state(), kWaitingForConnection);

  keyboard->info.reset();
  dlg.onConnect(keyboard, false);
  EXPECT_TRUE(logged(L"  unable to get feature 0x0003\n"));
  EXPECT_EQ(dlg.state(), kWaitingForConnection);
}

TEST_F(VersionDecision, OnlyTheTrackedKeyboardIsReadAndTheFirstOneIsKept) {
  CVornDFUDlg& dlg = with_keyboard();
  auto other = std::make_shared<FakeKeyboard>();
  auto receiver = std::make_shared<FakeKeyboard>();
  receiver->pid_value = 0xC510;

  dlg.onDeviceArrival(other);
  dlg.onDeviceArrival(receiver);
  dlg.onDeviceArrival(nullptr);
  EXPECT_EQ(dlg.device(), keyboard);
  EXPECT_EQ(dlg.state(), kWaitingForConnection);

  dlg.onConnect(other, false);
  EXPECT_EQ(dlg.state(), kWaitingForConnection);
  EXPECT_TRUE(logged(L"Device 0xb3f1 is connected. [settings_retained(false)]\n"));
  dlg.onConnect(keyboard, false);
  EXPECT_EQ(dlg.state(), kUpdateAvailable);
}

TEST_F(VersionDecision, AKeyboardThatArrivesUnconnectedWaitsForItsConnection) {
  CVornDFUDlg& dlg = open_dialog_with_small_images();
  keyboard->is_connected = false;
  dlg.onDeviceArrival(keyboard);
  EXPECT_TRUE(logged(L"Device 0xb3f1 is arrived.\n"));
  EXPECT_EQ(dlg.state(), kWaitingForConnection);
  EXPECT_EQ(keyboard->Producer<dovod::IDevice::Connect>::subscriber_count(), 1u);

  keyboard->is_connected = true;
  dlg.onConnect(keyboard, false);
  EXPECT_EQ(dlg.state(), kUpdateAvailable);
  EXPECT_TRUE(window().visible(control::kStart));
}

}  // namespace
}  // namespace vorn::testing
