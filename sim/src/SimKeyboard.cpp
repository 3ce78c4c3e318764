#include "sim/SimKeyboard.h"

#include "FaultScript.h"
#include "KeyboardModel.h"
#include "Reports.h"
#include "Scheduler.h"
#include "sim/KeyboardUplink.h"
#include "sim/SimHardwareBus.h"

namespace sim {

SimKeyboard::SimKeyboard(Scenario scenario)
    : scenario_(std::move(scenario)),
      model_(std::make_unique<KeyboardModel>(scenario_)),
      faults_(std::make_unique<FaultScript>(scenario_.faults)),
      scheduler_(std::make_unique<Scheduler>()) {}

SimKeyboard::~SimKeyboard() { scheduler_->stop(); }

void SimKeyboard::set_bus(std::weak_ptr<SimHardwareBus> bus) {
  std::lock_guard<std::mutex> lock(mutex_);
  bus_ = std::move(bus);
}

void SimKeyboard::set_uplink(std::weak_ptr<KeyboardUplink> uplink) {
  std::lock_guard<std::mutex> lock(mutex_);
  uplink_ = std::move(uplink);
}

bool SimKeyboard::reachable() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return link_up_ && !restarting_;
}

bool SimKeyboard::receive(const Bytes& report) {
  std::uint64_t epoch = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!link_up_) return false;
    epoch = epoch_;
  }
  scheduler_->after(ms(scenario_.timing.host_to_device_ms), weak_from_this(),
                    [this, report, epoch] { arrive(report, epoch, true); });
  return true;
}

void SimKeyboard::inject_foreign_request(const Bytes& request) {
  std::uint64_t epoch = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    epoch = epoch_;
  }
  scheduler_->after(ms(scenario_.timing.host_to_device_ms), weak_from_this(),
                    [this, request, epoch] { arrive(request, epoch, false); });
}

void SimKeyboard::send_report(const Bytes& report) {
  std::uint64_t epoch = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    epoch = epoch_;
  }
  schedule_delivery({{report, 0}}, epoch);
}

void SimKeyboard::arrive(const Bytes& request, std::uint64_t epoch, bool from_us) {
  std::vector<Outgoing> out;
  const Fault* outage = nullptr;
  std::uint64_t delivery_epoch = 0;
  bool restart = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (epoch != epoch_ || !link_up_ || restarting_) return;
    delivery_epoch = epoch_;
    const std::vector<const Fault*> faults =
        from_us && !faults_spent_ ? faults_->triggered_by(model_->feature_at(feature_index_of(request)), function_of(request))
                : std::vector<const Fault*>{};
    const Fault* refusal = nullptr;
    for (const Fault* f : faults) {
      if (f->kind == FaultKind::ForeignRequest) {
        for (Bytes& r : model_->handle(f->foreign).reports) out.push_back({std::move(r), 0});
      } else if (f->kind == FaultKind::Disconnect || f->kind == FaultKind::PowerLoss || f->kind == FaultKind::Unplug) {
        outage = f;
      } else if (f->kind == FaultKind::BootloaderStatus) {
        refusal = f;
      }
    }
    // A request that meets an outage goes down with the link, unanswered.
    if (!outage) {
      ModelResult result = refusal ? model_->refuse_packet(request, refusal->status) : model_->handle(request);
      restart = result.restart;
      for (Bytes& reply : result.reports) {
        for (Outgoing& copy : FaultScript::shape(std::move(reply), faults)) out.push_back(std::move(copy));
      }
      if (restart) restarting_ = true;
    }
  }
  schedule_delivery(std::move(out), delivery_epoch);
  if (restart) begin_restart(delivery_epoch);
  if (outage) {
    const Outage kind = outage->kind == FaultKind::Disconnect ? Outage::Link
                        : outage->kind == FaultKind::PowerLoss ? Outage::Power
                                                               : Outage::Cable;
    go_down(kind, ms(outage->duration_ms));
  }
}

void SimKeyboard::schedule_delivery(std::vector<Outgoing> out, std::uint64_t epoch) {
  for (Outgoing& o : out) {
    scheduler_->after(ms(scenario_.timing.device_to_host_ms + o.extra_delay_ms), weak_from_this(),
                      [this, report = std::move(o.report), epoch] { deliver(report, epoch); });
  }
}

void SimKeyboard::deliver(const Bytes& report, std::uint64_t epoch) {
  std::shared_ptr<KeyboardUplink> uplink;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (epoch != epoch_ || !link_up_) return;
    uplink = uplink_.lock();
  }
  if (uplink) uplink->deliver(report);
}

void SimKeyboard::begin_restart(std::uint64_t epoch) {
  // The answers already on their way still arrive; then the keyboard drops off and starts again.
  scheduler_->after(ms(scenario_.timing.device_to_host_ms), weak_from_this(), [this, epoch] {
    std::uint64_t down = 0;
    std::shared_ptr<SimHardwareBus> bus;
    int restart = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (epoch != epoch_) return;
      restart = restarts_++;
      if (scenario_.restart_leaves_bus && !scenario_.receiver) bus = bus_.lock();
      if (!bus) {
        link_up_ = false;
        down = ++epoch_;
      }
    }
    if (bus) {
      bus->leave_for_restart();
      std::lock_guard<std::mutex> lock(mutex_);
      down = epoch_;
    } else {
      announce(false);
    }
    const bool off_bus = bus != nullptr;
    schedule_restart_power_losses(restart, down, off_bus);
    scheduler_->after(ms(scenario_.timing.restart_ms), weak_from_this(),
                      [this, down, off_bus] { end_restart(down, off_bus); });
  });
}

void SimKeyboard::end_restart(std::uint64_t down, bool off_bus) {
  std::shared_ptr<SimHardwareBus> bus;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (epoch_ != down) return;
    if (off_bus) {
      bus = bus_.lock();
    } else {
      model_->boot();
      restarting_ = false;
      link_up_ = true;
      ++boots_;
    }
  }
  if (bus) {
    bus->plug();
  } else if (!off_bus) {
    announce(true);
  }
}

void SimKeyboard::schedule_restart_power_losses(int restart, std::uint64_t down, bool off_bus) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (faults_spent_) return;
  }
  for (const RestartPowerLoss& loss : scenario_.restart_power_losses) {
    if (loss.restart != restart) continue;
    scheduler_->after(ms(loss.after_ms), weak_from_this(), [this, loss, down, off_bus] {
      std::uint64_t again = 0;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (epoch_ != down) return;
        model_->power_loss();
        again = ++epoch_;
      }
      scheduler_->after(ms(loss.duration_ms), weak_from_this(),
                        [this, again, off_bus] { end_restart(again, off_bus); });
    });
  }
}

void SimKeyboard::end_faults() {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_spent_ = true;
}

void SimKeyboard::disconnect_for(std::chrono::milliseconds duration) { go_down(Outage::Link, duration); }

void SimKeyboard::power_loss_for(std::chrono::milliseconds duration) { go_down(Outage::Power, duration); }

void SimKeyboard::unplugged(bool power_lost) {
  std::lock_guard<std::mutex> lock(mutex_);
  link_up_ = false;
  restarting_ = false;
  ++epoch_;
  if (power_lost) model_->power_loss();
}

void SimKeyboard::plugged() {
  std::lock_guard<std::mutex> lock(mutex_);
  model_->boot();
  link_up_ = true;
  ++boots_;
}

void SimKeyboard::go_down(Outage outage, std::chrono::milliseconds duration) {
  if (outage == Outage::Cable) {
    std::shared_ptr<SimHardwareBus> bus;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      bus = bus_.lock();
    }
    if (!bus) return;
    bus->unplug();
    scheduler_->after(duration, [weak = std::weak_ptr<SimHardwareBus>(bus)] {
      if (auto back = weak.lock()) back->plug();
    });
    return;
  }
  std::uint64_t down = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!link_up_) return;
    link_up_ = false;
    restarting_ = false;
    down = ++epoch_;
    if (outage == Outage::Power) model_->power_loss();
  }
  announce(false);
  scheduler_->after(duration, weak_from_this(), [this, outage, down] { come_up(outage, down); });
}

void SimKeyboard::come_up(Outage outage, std::uint64_t down) {
  Bytes status;
  std::uint64_t epoch = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // Something else took the keyboard down meanwhile (an unplug); that decides when it returns.
    if (epoch_ != down) return;
    if (outage == Outage::Power) {
      model_->boot();
      ++boots_;
    }
    link_up_ = true;
    epoch = epoch_;
    status = model_->wireless_status(true, outage == Outage::Power);
  }
  announce(true);
  if (!status.empty()) schedule_delivery({{status, 0}}, epoch);
}

void SimKeyboard::announce(bool connected) {
  std::shared_ptr<KeyboardUplink> uplink;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    uplink = uplink_.lock();
  }
  if (uplink) uplink->link_changed(connected);
}

bool SimKeyboard::on_keyboard_thread() const { return scheduler_->on_own_thread(); }

bool SimKeyboard::in_bootloader() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return model_->in_bootloader();
}

FirmwareVersion SimKeyboard::application_version() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return model_->application_version();
}

std::uint16_t SimKeyboard::cookie() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return model_->cookie();
}

bool SimKeyboard::image_complete(Byte selector) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return model_->image_complete(selector);
}

int SimKeyboard::feature_index(int feature_id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return model_->index_of(feature_id);
}

int SimKeyboard::boots() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return boots_;
}

}  // namespace sim
