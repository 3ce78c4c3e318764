#pragma once
// The keyboard on collections of its own: the endpoint of those collections and the keyboard's
// uplink at once, with nothing in between.

#include <memory>

#include "CollectionSet.h"
#include "sim/KeyboardUplink.h"
#include "sim/SimEndpoint.h"

namespace sim {

class SimKeyboard;

class DirectAttachment : public SimEndpoint, public KeyboardUplink {
 public:
  explicit DirectAttachment(std::shared_ptr<SimKeyboard> keyboard);

  bool receive(const Bytes& report) override;
  bool reachable() const override;
  bool on_delivery_thread() const override;
  int command_timeout_ms() const override;
  unsigned pid() const override;
  std::string product_name() const override;
  CollectionSet& collections() override { return collections_; }

  void deliver(const Bytes& report) override { collections_.deliver(report); }
  void link_changed(bool up) override { collections_.announce(up); }

 private:
  const std::shared_ptr<SimKeyboard> keyboard_;
  CollectionSet collections_;
};

}  // namespace sim
