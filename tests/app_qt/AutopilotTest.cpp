#include <gtest/gtest.h>

#include <QImage>

#include <filesystem>
#include <mutex>

#include "ScriptedInputs.h"
#include "app/AppLog.h"
#include "app/UiText.h"
#include "app/qt/Autopilot.h"

namespace vorn::qt {
namespace {

using vorn::testing::ScriptedInputs;
using Journal = std::vector<std::string>;

// A dialog logic that walks through the update's faces as the controller shows them.
class AutopilotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("vorn_autopilot_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    SetLogLineSinkForTesting([this](std::wstring_view line) {
      std::lock_guard<std::mutex> lock(mutex_);
      lines_.emplace_back(line.size() >= 11 ? line.substr(11) : line);
    });
    inputs_.on_init = [this] {
      window_.SetProgressRange(0, 64);
      Status(text::kUpdateAvailable);
      window_.Show(control::kStart, true);
    };
    inputs_.on_button = [this](const std::string& button) {
      if (button == "start") {
        window_.Show(control::kStart, false);
        window_.Show(control::kProgress, true);
        Status(text::kUpdating);
        window_.SetTimer(1, 1);
      } else {
        window_.EndDialog(kResultOk);
      }
    };
    inputs_.on_timer = [this](std::uint32_t) {
      window_.SetProgressPosition(window_.ProgressPosition() + 16);
      if (window_.ProgressPosition() < 64) return;
      window_.KillTimer(1);
      Status(text::kSucceeded);
      window_.Show(control::kClose, true);
      window_.Show(control::kProgress, false);
    };
  }
  void TearDown() override {
    SetLogLineSinkForTesting({});
    std::filesystem::remove_all(folder_);
  }

  void Status(int id) { window_.SetText(control::kStatus, LoadText(id)); }

  std::vector<std::wstring> autopilot_lines() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::wstring> out;
    for (const std::wstring& line : lines_)
      if (line.rfind(L"Autopilot: ", 0) == 0) out.push_back(line);
    return out;
  }

  std::filesystem::path folder_;
  QtDialogWindow window_;
  ScriptedInputs inputs_;
  std::mutex mutex_;
  std::vector<std::wstring> lines_;
};

TEST_F(AutopilotTest, ClicksThroughAnUpdateAndPicturesEachStatus) {
  Autopilot autopilot(window_, {true, 0, folder_});
  EXPECT_EQ(window_.RunModal(inputs_), kResultOk);
  EXPECT_EQ(inputs_.journal, (Journal{"init", "start", "timer 1", "timer 1", "timer 1", "timer 1", "close"}));
  EXPECT_EQ(autopilot_lines(), (std::vector<std::wstring>{L"Autopilot: update-available, progress 0 of 64\n",
                                                          L"Autopilot: updating, progress 0 of 64\n",
                                                          L"Autopilot: succeeded, progress 64 of 64\n"}));
  for (const char* name : {"01-update-available.png", "02-updating.png", "03-updating-half.png", "04-succeeded.png"}) {
    const QImage picture(QString::fromStdString((folder_ / name).string()));
    EXPECT_EQ(picture.size(), window_.size()) << name;
  }
}

// With the force option the keyboard's return after a success offers the update again; the
// autopilot must not start a second one but close the dialog.
TEST_F(AutopilotTest, AfterSuccessClosesInsteadOfStartingAgain) {
  inputs_.on_button = [this, first = true](const std::string& button) mutable {
    if (button == "start" && first) {
      first = false;
      Status(text::kSucceeded);
      window_.Show(control::kStart, false);
      // The keyboard comes back before the dialog's next turn and is offered the update again.
      Status(text::kUpdateAvailable);
      window_.Show(control::kStart, true);
    } else {
      window_.EndDialog(button == "cancel" ? kResultCancel : kResultOk);
    }
  };
  Autopilot autopilot(window_, {true, 0, {}});
  EXPECT_EQ(window_.RunModal(inputs_), kResultCancel);
  EXPECT_EQ(inputs_.journal, (Journal{"init", "start", "cancel"}));
  EXPECT_FALSE(std::filesystem::exists(folder_));
}

TEST_F(AutopilotTest, DisabledAutopilotLeavesTheDialogAlone) {
  Autopilot autopilot(window_, {});
  inputs_.on_init = [this] {
    window_.Show(control::kStart, true);
    window_.SetTimer(2, 20);
  };
  inputs_.on_timer = [this](std::uint32_t) { window_.EndDialog(kResultOk); };
  EXPECT_EQ(window_.RunModal(inputs_), kResultOk);
  EXPECT_EQ(inputs_.journal, (Journal{"init", "timer 2"}));
  EXPECT_TRUE(autopilot_lines().empty());
}

TEST(AutopilotSettingsTest, EnvironmentTurnsItOnOnlyWithAPause) {
  struct Case {
    const char* value;
    bool enabled;
    int pause_ms;
  };
  const Case cases[] = {{nullptr, false, 0}, {"", false, 0},     {"0", true, 0},    {"1500", true, 1500},
                        {"-1", false, 0},    {"60001", false, 0}, {"1s", false, 0}, {"99999999999999999999", false, 0}};
  for (const Case& c : cases) {
    if (c.value) setenv(kAutopilotVariable, c.value, 1);
    else unsetenv(kAutopilotVariable);
    setenv(kScreenshotsVariable, "/tmp/pictures", 1);
    const AutopilotSettings settings = AutopilotSettingsFromEnvironment();
    EXPECT_EQ(settings.enabled, c.enabled) << (c.value ? c.value : "unset");
    EXPECT_EQ(settings.pause_ms, c.pause_ms) << (c.value ? c.value : "unset");
    EXPECT_EQ(settings.screenshots.empty(), !c.enabled) << (c.value ? c.value : "unset");
  }
  unsetenv(kAutopilotVariable);
  unsetenv(kScreenshotsVariable);
}

}  // namespace
}  // namespace vorn::qt
