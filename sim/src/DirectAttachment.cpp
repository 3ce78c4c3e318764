#include "DirectAttachment.h"

#include "dovod/MakerValues.h"
#include "sim/SimKeyboard.h"

namespace sim {

DirectAttachment::DirectAttachment(std::shared_ptr<SimKeyboard> keyboard) : keyboard_(std::move(keyboard)) {}

bool DirectAttachment::receive(const Bytes& report) { return keyboard_->receive(report); }

bool DirectAttachment::reachable() const { return keyboard_->reachable(); }

bool DirectAttachment::on_delivery_thread() const { return keyboard_->on_keyboard_thread(); }

int DirectAttachment::command_timeout_ms() const { return keyboard_->scenario().timing.command_timeout_ms; }

unsigned DirectAttachment::pid() const { return dovod::maker::kKeyboardPid; }

std::string DirectAttachment::product_name() const { return kProductName; }

}  // namespace sim
