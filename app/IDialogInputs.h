#pragma once
// What the window hands to the update dialog's logic: its initialisation, timer expiries, posted
// messages, button clicks and close requests. All of them arrive on the dialog's thread, one at a
// time. The platform-free dialog (CVornDFUDlg) implements it; each platform window calls it.

#include <cstdint>

namespace vorn {

class IDialogInputs {
 public:
  virtual ~IDialogInputs() = default;

  // Once, after the window and its controls exist and before it is shown. True lets the window
  // put the focus where it likes.
  virtual bool OnInitDialog() = 0;
  // A window timer started with IDialogWindow::SetTimer expired.
  virtual void OnTimer(std::uint32_t id) = 0;
  // A message posted with IDialogWindow::PostMessage; the answer is the message's result.
  virtual std::intptr_t OnMessage(std::uint32_t message, std::uintptr_t wparam) = 0;
  // Button 1008 (Start) and button 1005 (Close) clicked.
  virtual void OnStartClicked() = 0;
  virtual void OnCloseClicked() = 0;
  // Enter (OK) and Esc or the caption's close box (Cancel).
  virtual void OnOK() = 0;
  virtual void OnCancel() = 0;
};

}  // namespace vorn
