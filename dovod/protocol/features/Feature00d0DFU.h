#pragma once

#include "dovod/IFeature00d0DFU.h"
#include "protocol/Feature.h"

namespace dovod {

class IFeatureForceInclusion00d0 {
 public:
  IFeatureForceInclusion00d0();
};

class Feature00d0DFU : public Feature, public IFeature00d0DFU, public Producer<IFeature00d0DFU::Report> {
 public:
  static constexpr int kId = 0x00D0;

  Feature00d0DFU(Byte index, std::weak_ptr<IDevice> device);

  bool DFUStart(const Bytes& packet, int* status, Bytes* reply) override;
  bool DFUSendPacket(int packetNumber, const Bytes& packet) override;
  bool DFURestart(Byte value) override;

  // The function that carries the packet numbered `number`: the number's remainder modulo 4.
  static int function_for_packet(unsigned number) { return static_cast<int>(number % 4); }

 protected:
  void onFeatureReport(int function, const Bytes& payload) override;

 private:
  void produce_status(unsigned number, const Bytes& payload);
};

}  // namespace dovod
