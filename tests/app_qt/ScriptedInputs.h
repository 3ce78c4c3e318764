#pragma once
// A dialog logic of the test's own: it notes every input it gets and runs what the test scripted
// for it, so a test can act from inside the modal run.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/IDialogInputs.h"

namespace vorn::testing {

class ScriptedInputs : public IDialogInputs {
 public:
  std::function<void()> on_init;
  std::function<void(std::uint32_t)> on_timer;
  std::function<void(std::uint32_t, std::uintptr_t)> on_message;
  std::function<void(const std::string&)> on_button;  // "start", "close", "ok", "cancel"

  bool OnInitDialog() override {
    journal.push_back("init");
    if (on_init) on_init();
    return true;
  }
  void OnTimer(std::uint32_t id) override {
    journal.push_back("timer " + std::to_string(id));
    if (on_timer) on_timer(id);
  }
  std::intptr_t OnMessage(std::uint32_t message, std::uintptr_t wparam) override {
    journal.push_back("message " + std::to_string(message) + " " + std::to_string(wparam));
    if (on_message) on_message(message, wparam);
    return 0;
  }
  void OnStartClicked() override { button("start"); }
  void OnCloseClicked() override { button("close"); }
  void OnOK() override { button("ok"); }
  void OnCancel() override { button("cancel"); }

  std::vector<std::string> journal;

 private:
  void button(const std::string& name) {
    journal.push_back(name);
    if (on_button) on_button(name);
  }
};

}  // namespace vorn::testing
