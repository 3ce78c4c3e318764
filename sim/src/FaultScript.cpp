#include "FaultScript.h"

namespace sim {

FaultScript::FaultScript(const std::vector<Fault>& faults) : faults_(faults), seen_(faults.size(), 0) {}

std::vector<const Fault*> FaultScript::triggered_by(int feature_id, int function) {
  std::vector<const Fault*> hits;
  for (std::size_t i = 0; i < faults_.size(); ++i) {
    const RequestMatch& m = faults_[i].when;
    if (m.feature_id >= 0 && m.feature_id != feature_id) continue;
    if (m.functions != 0 && (m.functions & (1u << function)) == 0) continue;
    const int seen = seen_[i]++;
    if (seen >= m.occurrence && (m.count < 0 || seen < m.occurrence + m.count)) hits.push_back(&faults_[i]);
  }
  return hits;
}

std::vector<Outgoing> FaultScript::shape(Bytes reply, const std::vector<const Fault*>& faults) {
  std::vector<Outgoing> copies{{std::move(reply), 0}};
  for (const Fault* f : faults) {
    switch (f->kind) {
      case FaultKind::LoseReply:
        copies.clear();
        break;
      case FaultKind::DelayReply:
        for (Outgoing& c : copies) c.extra_delay_ms += f->duration_ms;
        break;
      case FaultKind::DuplicateReply:
        if (!copies.empty()) copies.push_back(copies.front());
        break;
      case FaultKind::CorruptReply:
        for (Outgoing& c : copies) {
          if (f->byte_index >= 0 && f->byte_index < static_cast<int>(c.report.size())) {
            c.report[f->byte_index] ^= f->xor_mask;
          }
        }
        break;
      default:
        break;
    }
  }
  return copies;
}

}  // namespace sim
