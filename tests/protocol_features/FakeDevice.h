#pragma once
// A device that records what features send and answers from a script, so that features can be
// tested without a command engine. Each synchronous command takes the next scripted answer; with
// none left it fails with NoResponse, as a silent device would.

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dovod/IDevice.h"
#include "dovod/IFeature.h"
#include "dovod/LastError.h"

namespace dovod::testing {

struct SentCommand {
  Bytes request;
  bool synchronous = true;
  int cache_mode = 0;
  std::vector<int> echo_positions;
};

class FakeDevice : public IDevice {
 public:
  // The reply repeats the request's first four bytes and carries `payload` after them.
  void answer(Bytes payload) { script_.push_back({Kind::Payload, std::move(payload), ErrorCode::None}); }
  // The reply is exactly `report`.
  void answer_raw(Bytes report) { script_.push_back({Kind::Raw, std::move(report), ErrorCode::None}); }
  void fail(ErrorCode code) { script_.push_back({Kind::Fail, {}, code}); }

  std::vector<SentCommand> sent() {
    std::lock_guard<std::mutex> lock(mutex_);
    return sent_;
  }
  std::size_t unanswered() const { return script_.size(); }

  int swid_value = 1;
  // When set, the software id the device uses from the next synchronous command on, as when the
  // engine picks a new one while waiting.
  int swid_after_command = -1;
  unsigned pid_value = 0xB3F1;
  bool send_command_result = true;
  bool set_configured_result = true;
  bool add_pending_result = true;
  int set_configured_calls = 0;
  std::vector<std::shared_ptr<IFeature>> pending_features;

  bool sendCommand(const Bytes& request, bool) override {
    std::lock_guard<std::mutex> lock(mutex_);
    sent_.push_back({request, false, 0, {}});
    return send_command_result;
  }

  bool sendSynchronousCommand(const Bytes& request, Bytes& reply, int cache_mode,
                              const std::vector<int>& echo_positions) override {
    std::lock_guard<std::mutex> lock(mutex_);
    sent_.push_back({request, true, cache_mode, echo_positions});
    if (swid_after_command >= 0) swid_value = swid_after_command;
    if (script_.empty()) {
      set_last_error(ErrorCode::NoResponse);
      return false;
    }
    Step step = std::move(script_.front());
    script_.pop_front();
    switch (step.kind) {
      case Kind::Fail:
        set_last_error(step.error);
        return false;
      case Kind::Raw:
        reply = std::move(step.bytes);
        return true;
      case Kind::Payload:
        reply.assign(request.begin(), request.begin() + 4);
        reply.insert(reply.end(), step.bytes.begin(), step.bytes.end());
        return true;
    }
    return false;
  }

  int swid() override { return swid_value; }
  unsigned pid() override { return pid_value; }

  bool set_configured(std::shared_ptr<IFeature>) override {
    ++set_configured_calls;
    if (!set_configured_result) set_last_error(ErrorCode::NotConnected);
    return set_configured_result;
  }
  bool add_pending_change(std::shared_ptr<IFeature> feature) override {
    pending_features.push_back(std::move(feature));
    return add_pending_result;
  }

  bool initDevice(std::shared_ptr<IDeviceManager>) override { return true; }
  void uninitDevice() override {}
  bool connected() override { return true; }
  bool is_removed() override { return false; }
  int bus_type() override { return 0; }
  int device_index() override { return 0; }
  int transport_detail() override { return 0; }
  std::string name() override { return "fake"; }
  std::string product_name() override { return "fake"; }
  std::shared_ptr<IHardwareDevice> hardware_device() override { return nullptr; }
  bool configured() override { return set_configured_calls > 0; }
  bool has_pending_changes() override { return !pending_features.empty(); }
  void shutdown() override {}
  void forget() override {}
  void persistent_data_directory(const std::string&) override {}
  std::shared_ptr<IFeature> feature_by_id(int) override { return nullptr; }
  std::vector<std::shared_ptr<IFeature>> features() override { return {}; }
  void abandon() override {}
  bool retry_load_feature_root() override { return true; }
  std::string fwinfo() override { return {}; }
  void confirm_configuration() override {}

 private:
  enum class Kind { Payload, Raw, Fail };
  struct Step {
    Kind kind;
    Bytes bytes;
    ErrorCode error;
  };

  std::mutex mutex_;
  std::deque<Step> script_;
  std::vector<SentCommand> sent_;
};

// A payload as a long reply carries it: the given bytes, then zeros up to 16.
inline Bytes long_payload(Bytes bytes) {
  if (bytes.size() < 16) bytes.resize(16, 0);
  return bytes;
}

}  // namespace dovod::testing
