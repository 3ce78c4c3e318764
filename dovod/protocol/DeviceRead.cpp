// Read routing: every report the hardware device reads is classified here, handed to the command
// engine when it may answer the pending request, or goes to the feature it belongs to.

#include "protocol/Device.h"
#include "protocol/DeviceLog.h"
#include "protocol/Feature.h"

namespace dovod {
namespace {

bool is_vxp10_notification(Byte sub_id) { return sub_id == 0x40 || sub_id == 0x41 || sub_id == 0x49 || sub_id == 0x4B; }

Bytes parameters_of(const Bytes& report) { return Bytes(report.begin() + 4, report.end()); }

}  // namespace

IDevice::ReportType Device::onReadHandler(Bytes report, bool relayed, unsigned, unsigned) {
  engine_.note_report_received();
  if (report.size() <= 6) {
    DEV_LOG(LOG_DEBUG, "onReadHandler", "Not processing short read report of %d bytes", static_cast<int>(report.size()));
    return Unhandled;
  }
  if (relayed) report[1] = 0xFF;
  if (is_vxp10_notification(report[2])) {
    DEV_LOG(LOG_DEBUG, "onReadHandler", "Report is a Vexa 1.0 notification");
    return Notification;
  }
  if (report[1] != 0xFF && report[1] != 0) return Unhandled;

  const bool feature_based = has_features();
  const unsigned report_swid = report[3] & 0x0F;
  if (feature_based && report_swid == 0) {
    if (auto feature = feature_at(report[2])) {
      DEV_LOG(LOG_DEBUG, "onReadHandler", "Report is a Vexa 2.0 notification");
      if (active_) feature->routeFeatureReport(report[3] >> 4, parameters_of(report));
      return Notification;
    }
  }
  if (!feature_based && report[2] >= 0x01 && report[2] <= 0x7F) {
    DEV_LOG(LOG_DEBUG, "onReadHandler", "Report is a Vexa 1.0 notification or a Vexa 2.0 response/event for an unknown feature");
    return Unhandled;
  }

  if (engine_.complete_pending(report)) return CommandResponse;

  if (!feature_based) {
    DEV_LOG(LOG_DEBUG, "onReadHandler", "Report is an unexpected Vexa 1.0 command response, ignoring");
    return ForeignResponse;
  }
  route_foreign(report);
  return ForeignResponse;
}

void Device::route_foreign(const Bytes& report) {
  const unsigned s = report[3] & 0x0F;
  const unsigned function = report[3] >> 4;
  if (report[2] == 0 && function == 1 && report[6] == 0) {
    DEV_LOG(LOG_DEBUG, "onReadHandler", "Report is a protocol check response from other SW using swid 0x%x, ignoring", s);
    return;
  }
  DEV_LOG(LOG_DEBUG, "onReadHandler", "Report is a feature response from other SW using swid 0x%x", s);
  engine_.note_foreign_reply(s);
  auto feature = feature_at(report[2]);
  if (!feature) {
    if (s != 0) {
      DEV_LOG(LOG_DEBUG, "onReadHandler",
              "Report is a response to an unknown feature index %02x from other SW using swid 0x%x, ignoring", report[2], s);
    } else {
      DEV_LOG(LOG_DEBUG, "onReadHandler", "Report is a notif from an unknown feature at index %02x, ignoring", report[2]);
    }
    return;
  }
  if (active_) feature->routeUnexpectedResponse(function, s, parameters_of(report));
}

void Device::onRead(Bytes report, bool relayed, unsigned error, unsigned length) {
  const ReportType type = onReadHandler(report, relayed, error, length);
  if (!active_) return;
  Producer<IDevice::Report>::produce(
      [report, error, length, type](IDevice::Report* s) { s->onReport(report, error, length, type); },
      "Device::Report::onReport");
}

void Device::onWrite(Bytes report, ErrorCode error, unsigned system_error) {
  if (!active_) return;
  Producer<IDevice::WriteReport>::produce(
      [report, error, system_error](IDevice::WriteReport* s) { s->onWriteReport(report, error, system_error); },
      "Device::Report::onWriteReport");
}

}  // namespace dovod
