#pragma once
// The base of every feature class: identity and flags from the device's feature table, command
// building and reply checking, and the entry points through which the device routes reports.

#include <atomic>
#include <memory>

#include "dovod/IFeature.h"
#include "dovod/Producer.h"

namespace dovod {

class Feature : public IFeature,
                public Producer<IFeature::FeatureReport>,
                public std::enable_shared_from_this<Feature> {
 public:
  Feature(int id, Byte index, std::weak_ptr<IDevice> device);
  ~Feature() override = default;
  Feature(const Feature&) = delete;
  Feature& operator=(const Feature&) = delete;

  int feature_id() override;
  bool sendFeatureCommandAsync(int function, const Bytes& params) override;
  bool sendFeatureCommand(int function, const Bytes& params, Bytes& reply, int cacheable) override;
  bool sendFeatureCommand(int function, const Bytes& params, Bytes& reply, int cacheable,
                          const std::vector<int>& echoPositions) override;
  bool configured() override;
  bool pending() override;
  std::shared_ptr<IDevice> device() override;
  bool obsolete() override;
  bool hidden() override;
  bool engineering() override;
  int feature_index() override;
  int feature_version() override;
  std::shared_ptr<IFeature> shared_self() override;

  // Called by the device when it reconnects; writes the feature's cached settings again.
  virtual bool process_pending_changes(bool device_configured) { return true; }

  // Entry points of the device's read routing, on the read thread: produce FeatureReport, then run
  // the hook of the same name.
  void routeFeatureReport(int function, const Bytes& payload);
  void routeUnexpectedResponse(unsigned function, unsigned swid, const Bytes& payload);

  // Setting changes, for features that store a setting in the device.
  bool set_configured();
  bool set_pending();

  // Written by the device: the flags and version come from the reply that gave the index.
  void set_table_entry(bool obsolete, bool hidden, bool engineering, int version);
  void set_configured_flag(bool value) { configured_ = value; }
  void set_pending_flag(bool value) { pending_ = value; }
  void set_processing_pending(bool value) { processing_pending_ = value; }
  bool processing_pending() const { return processing_pending_; }

 protected:
  virtual void onFeatureReport(int function, const Bytes& payload) {}
  virtual void onUnexpectedResponse(unsigned function, unsigned swid, const Bytes& payload) {}

 private:
  std::atomic<bool> obsolete_{false};
  std::atomic<bool> hidden_{false};
  std::atomic<bool> engineering_{false};
  std::atomic<int> feature_version_{0};
  const int feature_id_;
  const int feature_index_;
  const std::weak_ptr<IDevice> device_;
  std::atomic<bool> configured_{false};
  std::atomic<bool> pending_{false};
  std::atomic<bool> processing_pending_{false};
};

}  // namespace dovod
