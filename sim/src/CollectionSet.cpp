#include "CollectionSet.h"

namespace sim {
namespace {

// Reports of the third 0xFF43 piece, which the maker's protocol leaves unused.
constexpr Byte kVeryLongReportId = 0x12;
constexpr int kVeryLongReportLength = 64;

}  // namespace

std::vector<CollectionShape> CollectionSet::shapes(Collections kind, const std::string& base) {
  switch (kind) {
    case Collections::Whole:
      return {{base, "", 2, 2, kLongReportLength, 0}};
    case Collections::ShortAndLong:
      // Usages 1 and 2 of page 0xFF00: piece bits 1 and 2 of three expected.
      return {{base + "/col01", base, 1, 3, kShortReportLength, kShortReportId},
              {base + "/col02", base, 2, 3, kLongReportLength, kLongReportId}};
    case Collections::Pieces:
      // Usages 0x0701, 0x0702 and 0x0704 of page 0xFF43.
      return {{base + "/piece1", base, 1, 7, kShortReportLength, kShortReportId},
              {base + "/piece2", base, 2, 7, kLongReportLength, kLongReportId},
              {base + "/piece4", base, 4, 7, kVeryLongReportLength, kVeryLongReportId}};
  }
  return {};
}

void CollectionSet::set(std::vector<std::shared_ptr<SimHardwareDevice>> devices) {
  std::lock_guard<std::mutex> lock(mutex_);
  devices_ = std::move(devices);
}

std::vector<std::shared_ptr<SimHardwareDevice>> CollectionSet::take() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::move(devices_);
}

std::vector<std::shared_ptr<SimHardwareDevice>> CollectionSet::current() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return devices_;
}

void CollectionSet::deliver(const Bytes& report) const {
  std::shared_ptr<SimHardwareDevice> target;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& device : devices_) {
      const CollectionShape& shape = device->shape();
      if (shape.report_id == 0 || static_cast<std::size_t>(shape.report_length) == report.size()) {
        target = device;
        break;
      }
    }
  }
  if (target) target->deliver(report);
}

void CollectionSet::announce(bool connected) const {
  for (const auto& device : current()) device->announce(connected);
}

}  // namespace sim
