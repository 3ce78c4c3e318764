#pragma once
// A keyboard as the controller sees it through the library's interfaces, without a protocol under
// it: firmware information, DFU control and DFU features whose answers a test sets, and which note
// what they were asked. It produces connection events and DFU statuses like the library's objects,
// so the controller's subscriptions to it work.

#include <memory>
#include <string>
#include <vector>

#include "dovod/IDevice.h"
#include "dovod/IFeature.h"
#include "dovod/IFeature0003FirmwareInfo.h"
#include "dovod/IFeature00c2DFUControl.h"
#include "dovod/IFeature00d0DFU.h"
#include "dovod/MakerValues.h"
#include "dovod/Producer.h"

namespace vorn::testing {

using dovod::Bytes;

// The parts of a feature that the controller never uses.
class FakeFeatureBase : public dovod::IFeature {
 public:
  explicit FakeFeatureBase(int id) : id_(id) {}
  int feature_id() override { return id_; }
  bool sendFeatureCommandAsync(int, const Bytes&) override { return false; }
  bool sendFeatureCommand(int, const Bytes&, Bytes&, int) override { return false; }
  bool sendFeatureCommand(int, const Bytes&, Bytes&, int, const std::vector<int>&) override { return false; }
  bool configured() override { return false; }
  bool pending() override { return false; }
  std::shared_ptr<dovod::IDevice> device() override { return nullptr; }
  bool obsolete() override { return false; }
  bool hidden() override { return false; }
  bool engineering() override { return false; }
  int feature_index() override { return 1; }
  int feature_version() override { return 0; }
  std::shared_ptr<dovod::IFeature> shared_self() override { return nullptr; }

 private:
  int id_;
};

struct FakeEntity {
  std::string prefix;
  int rdnf = 0;
  bool readable = true;
};

class FakeFirmwareInfo : public FakeFeatureBase, public dovod::IFeature0003FirmwareInfo {
 public:
  FakeFirmwareInfo() : FakeFeatureBase(0x0003) {}

  bool count_readable = true;
  std::vector<FakeEntity> entities{{"QRX", 1}, {"BOT", 0}};
  bool version_readable = true;
  std::string version = "5.1.16";

  // The running entity's prefix.
  void run(const std::string& prefix) { entities = {{prefix, 1}}; }

  bool GetEntityCount(int* count, int*, int*, int*, int*, int*, int*, int) override {
    if (!count_readable) return false;
    *count = static_cast<int>(entities.size());
    return true;
  }
  bool GetFwInfo(int, int*, std::string*, std::string*, std::string*, int*, Bytes*, int) override { return false; }
  bool GetFwInfo(int entity, int* type, std::string* prefix, std::uint16_t*, std::uint16_t*, int* rdnf, Bytes*,
                 int) override {
    if (entity < 0 || entity >= static_cast<int>(entities.size()) || !entities[entity].readable) return false;
    if (type) *type = entity;
    if (prefix) *prefix = entities[entity].prefix;
    if (rdnf) *rdnf = entities[entity].rdnf;
    return true;
  }
  bool GetFwFormattedVersionOf(int, std::string*, std::uint16_t*, std::uint16_t*, int*) override { return false; }
  bool GetFwFormattedVersion(std::string* text) override {
    if (!version_readable || !text) return false;
    *text = version;
    return true;
  }
  bool FindFwInfoByType(int, std::string*, std::uint16_t*, std::uint16_t*, int*, Bytes*) override { return false; }
  bool GetModelId(unsigned*) override { return false; }
  bool GetExtendedModelId(int*, int) override { return false; }
};

class FakeDfuControl : public FakeFeatureBase, public dovod::IFeature00c2DFUControl {
 public:
  FakeDfuControl() : FakeFeatureBase(0x00C2) {}

  bool accepts = true;
  int requests = 0;

  bool GetDfuControl(bool*) override { return false; }
  bool SetDfuControl(unsigned char enable, unsigned char param) override {
    ++requests;
    return accepts && enable == 1 && param == 0;
  }
};

struct SentPacket {
  bool start;     // through DFUStart
  int number;     // the number of the last status, for DFUSendPacket
  Bytes packet;
};

class FakeDfu : public FakeFeatureBase,
                public dovod::IFeature00d0DFU,
                public dovod::Producer<dovod::IFeature00d0DFU::Report> {
 public:
  FakeDfu() : FakeFeatureBase(0x00D0) {}

  bool start_succeeds = true;
  int start_status = 1;
  bool send_succeeds = true;
  bool restart_succeeds = true;
  std::vector<SentPacket> sent;
  std::vector<dovod::Byte> restarts;

  bool DFUStart(const Bytes& packet, int* status, Bytes*) override {
    sent.push_back({true, 0, packet});
    if (!start_succeeds) return false;
    *status = start_status;
    return true;
  }
  bool DFUSendPacket(int packetNumber, const Bytes& packet) override {
    sent.push_back({false, packetNumber, packet});
    return send_succeeds;
  }
  bool DFURestart(dovod::Byte value) override {
    restarts.push_back(value);
    return restart_succeeds;
  }
};

class FakeKeyboard : public dovod::IDevice, public dovod::Producer<dovod::IDevice::Connect> {
 public:
  unsigned pid_value = dovod::maker::kKeyboardPid;
  bool is_connected = true;
  bool has_dfu = true;
  std::shared_ptr<FakeFirmwareInfo> info = std::make_shared<FakeFirmwareInfo>();
  std::shared_ptr<FakeDfuControl> control = std::make_shared<FakeDfuControl>();
  std::shared_ptr<FakeDfu> dfu = std::make_shared<FakeDfu>();

  std::shared_ptr<dovod::IFeature> feature_by_id(int id) override {
    switch (id) {
      case 0x0003: return info;
      case 0x00C2: return control;
      case 0x00D0: return has_dfu ? dfu : nullptr;
      default: return nullptr;
    }
  }
  bool connected() override { return is_connected; }
  unsigned pid() override { return pid_value; }

  bool initDevice(std::shared_ptr<dovod::IDeviceManager>) override { return true; }
  void uninitDevice() override {}
  bool is_removed() override { return false; }
  int bus_type() override { return 0; }
  int device_index() override { return 0; }
  int transport_detail() override { return 0; }
  std::string name() override { return "fake/keyboard"; }
  std::string product_name() override { return "Fake keyboard"; }
  int swid() override { return 1; }
  std::shared_ptr<dovod::IHardwareDevice> hardware_device() override { return nullptr; }
  bool set_configured(std::shared_ptr<dovod::IFeature>) override { return true; }
  bool configured() override { return false; }
  bool add_pending_change(std::shared_ptr<dovod::IFeature>) override { return true; }
  bool has_pending_changes() override { return false; }
  void shutdown() override {}
  void forget() override {}
  void persistent_data_directory(const std::string&) override {}
  std::vector<std::shared_ptr<dovod::IFeature>> features() override { return {}; }
  bool sendCommand(const Bytes&, bool) override { return false; }
  bool sendSynchronousCommand(const Bytes&, Bytes&, int, const std::vector<int>&) override { return false; }
  void abandon() override {}
  bool retry_load_feature_root() override { return false; }
  std::string fwinfo() override { return {}; }
  void confirm_configuration() override {}
};

}  // namespace vorn::testing
