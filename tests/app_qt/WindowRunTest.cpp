#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "ScriptedInputs.h"
#include "app/qt/QtDialogWindow.h"

namespace vorn::qt {
namespace {

using vorn::testing::ScriptedInputs;
using Journal = std::vector<std::string>;

// Runs whatever Qt still has queued for a moment, as a later loop would.
void Drain() {
  for (int i = 0; i < 5; ++i) {
    QApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(2);
  }
}

TEST(DialogTimerTest, TimerFiresUntilKilled) {
  QtDialogWindow window;
  ScriptedInputs inputs;
  int ticks = 0;
  inputs.on_init = [&] { window.SetTimer(7, 1); };
  inputs.on_timer = [&](std::uint32_t id) {
    if (id == 7 && ++ticks == 3) {
      window.KillTimer(7);
      window.SetTimer(8, 30);  // long enough for a live timer 7 to fire again meanwhile
    } else if (id == 8) {
      window.EndDialog(kResultOk);
    }
  };
  EXPECT_EQ(window.RunModal(inputs), kResultOk);
  EXPECT_EQ(ticks, 3);
  EXPECT_FALSE(window.TimerRunning(7));
}

TEST(DialogTimerTest, SettingARunningTimerReplacesItsPeriod) {
  QtDialogWindow window;
  ScriptedInputs inputs;
  inputs.on_init = [&] {
    window.SetTimer(5, 600000);
    window.SetTimer(5, 1);
  };
  inputs.on_timer = [&](std::uint32_t id) { window.EndDialog(static_cast<int>(id)); };
  EXPECT_EQ(window.RunModal(inputs), 5);
}

TEST(DialogTimerTest, TimersSetFromOtherThreadsFireOnTheWindowsThread) {
  QtDialogWindow window;
  ScriptedInputs inputs;
  constexpr int kThreads = 4;
  std::vector<std::thread> threads;
  std::set<std::uint32_t> seen;
  bool all_on_window_thread = true;
  std::atomic<bool> stop{false};
  inputs.on_init = [&] {
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        // As the run-loop trigger does: again and again, while the window kills the timer.
        while (!stop.load()) {
          window.SetTimer(100 + t, 0);
          std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
      });
    }
  };
  inputs.on_timer = [&](std::uint32_t id) {
    all_on_window_thread = all_on_window_thread && QThread::currentThread() == window.thread();
    window.KillTimer(id);
    seen.insert(id);
    if (seen.size() == kThreads) window.EndDialog(kResultOk);
  };
  EXPECT_EQ(window.RunModal(inputs), kResultOk);
  stop = true;
  for (std::thread& t : threads) t.join();
  EXPECT_TRUE(all_on_window_thread);
  EXPECT_EQ(seen, (std::set<std::uint32_t>{100, 101, 102, 103}));
  // Calls still queued when the run ended reach nobody.
  const std::size_t entries = inputs.journal.size();
  Drain();
  EXPECT_EQ(inputs.journal.size(), entries);
}

TEST(DialogMessageTest, PostedMessagesWaitForTheHandlerAndKeepTheirOrder) {
  QtDialogWindow window;
  ScriptedInputs inputs;
  inputs.on_init = [&] {
    window.PostMessage(0x0401, 1);
    window.PostMessage(0x0401, 2);
  };
  inputs.on_message = [&](std::uint32_t, std::uintptr_t wparam) {
    if (wparam == 1) {
      window.PostMessage(0x0401, 3);
      inputs.journal.push_back("end of 1");
    }
    if (wparam == 3) window.EndDialog(kResultOk);
  };
  EXPECT_EQ(window.RunModal(inputs), kResultOk);
  EXPECT_EQ(inputs.journal,
            (Journal{"init", "message 1025 1", "end of 1", "message 1025 2", "message 1025 3"}));
}

TEST(DialogEndTest, QuitEndsTheRunAfterTheHandlerWithItsCode) {
  QtDialogWindow window;
  ScriptedInputs inputs;
  inputs.on_init = [&] { window.SetTimer(1, 1); };
  inputs.on_timer = [&](std::uint32_t) {
    window.KillTimer(1);
    window.PostQuit(0);
    inputs.journal.push_back("after quit");
  };
  EXPECT_EQ(window.RunModal(inputs), 0);
  EXPECT_EQ(inputs.journal, (Journal{"init", "timer 1", "after quit"}));
  EXPECT_FALSE(window.isVisible());
}

TEST(DialogEndTest, DialogEndedDuringInitialisationIsNeverShown) {
  QtDialogWindow window;
  ScriptedInputs inputs;
  bool shown = false;
  inputs.on_init = [&] {
    window.SetTimer(1, 0);
    QTimer::singleShot(0, &window, [&] { shown = window.isVisible(); });
    window.EndDialog(kResultCancel);
  };
  EXPECT_EQ(window.RunModal(inputs), kResultCancel);
  Drain();
  EXPECT_FALSE(shown);
  EXPECT_EQ(inputs.journal, (Journal{"init"}));
}

TEST(DialogEndTest, NothingReachesTheLogicAfterTheRun) {
  QtDialogWindow window;
  ScriptedInputs inputs;
  inputs.on_init = [&] {
    window.SetTimer(2, 1);
    window.SetTimer(3, 1);
  };
  inputs.on_timer = [&](std::uint32_t) {
    window.PostMessage(0x0401, 9);
    window.PostQuit(0);
    window.EndDialog(kResultOk);
  };
  EXPECT_EQ(window.RunModal(inputs), kResultOk);
  const std::size_t entries = inputs.journal.size();
  Drain();
  EXPECT_EQ(inputs.journal.size(), entries);
  EXPECT_FALSE(window.TimerRunning(2));
  EXPECT_FALSE(window.TimerRunning(3));
}

// Close box, Esc and Enter reach the logic, and the window stays unless the logic ends it.
TEST(DialogCloseTest, CloseRequestsGoToTheLogic) {
  struct Case {
    const char* name;
    std::function<void(QtDialogWindow&)> act;
    std::string expected;
  };
  auto key = [](int k) {
    return [k](QtDialogWindow& w) {
      QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier);
      QApplication::sendEvent(&w, &press);
    };
  };
  auto focus_then = [key](int id, int k) {
    return [id, k, key](QtDialogWindow& w) {
      w.Control(id)->setFocus();
      key(k)(w);
    };
  };
  const Case cases[] = {
      {"close box", [](QtDialogWindow& w) { w.close(); }, "cancel"},
      {"Esc", key(Qt::Key_Escape), "cancel"},
      {"Enter on the list", focus_then(control::kReleaseNotes, Qt::Key_Return), "ok"},
      {"keypad Enter on the list", focus_then(control::kReleaseNotes, Qt::Key_Enter), "ok"},
      {"Enter on Start", focus_then(control::kStart, Qt::Key_Return), "start"},
      {"Enter on Close", focus_then(control::kClose, Qt::Key_Return), "close"},
  };
  for (const Case& c : cases) {
    QtDialogWindow window;
    ScriptedInputs inputs;
    bool stayed = false;
    inputs.on_init = [&] {
      window.Show(control::kStart, c.expected == "start");
      window.Show(control::kClose, c.expected == "close");
      QTimer::singleShot(0, &window, [&] {
        c.act(window);
        QTimer::singleShot(0, &window, [&] {
          stayed = window.isVisible();
          window.EndDialog(kResultOk);
        });
      });
    };
    EXPECT_EQ(window.RunModal(inputs), kResultOk) << c.name;
    EXPECT_EQ(inputs.journal, (Journal{"init", c.expected})) << c.name;
    EXPECT_TRUE(stayed) << c.name;
  }
}

TEST(DialogCloseTest, LogicEndingTheDialogOnCancelEndsTheRun) {
  QtDialogWindow window;
  ScriptedInputs inputs;
  inputs.on_init = [&] { QTimer::singleShot(0, &window, [&] { window.close(); }); };
  inputs.on_button = [&](const std::string&) { window.EndDialog(kResultCancel); };
  EXPECT_EQ(window.RunModal(inputs), kResultCancel);
  EXPECT_FALSE(window.isVisible());
}

TEST(DialogButtonTest, ClicksReachTheLogic) {
  QtDialogWindow window;
  ScriptedInputs inputs;
  inputs.on_init = [&] {
    window.Show(control::kStart, true);
    QTimer::singleShot(0, &window, [&] {
      qobject_cast<QPushButton*>(window.Control(control::kStart))->click();
      qobject_cast<QPushButton*>(window.Control(control::kClose))->click();
      window.EndDialog(kResultOk);
    });
  };
  window.RunModal(inputs);
  EXPECT_EQ(inputs.journal, (Journal{"init", "start", "close"}));
}

}  // namespace
}  // namespace vorn::qt
