#include "Source/ReportDescriptor.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace dovod {
namespace {

enum ItemType : unsigned { kMain = 0, kGlobal = 1, kLocal = 2, kReserved = 3 };

enum MainTag : unsigned {
  kInput = 0x8,
  kOutput = 0x9,
  kCollection = 0xA,
  kFeature = 0xB,
  kEndCollection = 0xC,
};

enum GlobalTag : unsigned {
  kUsagePage = 0x0,
  kReportSize = 0x7,
  kReportId = 0x8,
  kReportCount = 0x9,
  kPush = 0xA,
  kPop = 0xB,
};

enum LocalTag : unsigned { kUsage = 0x0, kUsageMinimum = 0x1 };

constexpr Byte kLongItemPrefix = 0xFE;

struct Globals {
  std::uint32_t usage_page = 0;
  std::uint32_t report_size = 0;
  std::uint32_t report_count = 0;
  std::uint8_t report_id = 0;
};

// Only the first usage matters to us (it names a collection), so nothing grows with the number
// of usages a descriptor lists.
struct Locals {
  bool have_usage = false;
  std::uint32_t usage = 0;  // usage page in the high half, usage in the low half
  bool have_minimum = false;
  std::uint32_t minimum = 0;

  std::uint32_t collection_usage() const { return have_usage ? usage : have_minimum ? minimum : 0; }
};

enum Kind : unsigned { kInputKind = 0, kOutputKind = 1, kFeatureKind = 2 };

class Parser {
 public:
  explicit Parser(std::span<const Byte> raw) : raw_(raw) {}

  bool run(std::vector<TopLevelCollection>& collections,
           std::map<std::uint8_t, ReportLengths>& reports, bool& numbered) {
    if (raw_.size() > ReportDescriptor::kMaxSize) return fail("descriptor too large");
    std::size_t pos = 0;
    while (pos < raw_.size()) {
      const Byte prefix = raw_[pos];
      if (prefix == kLongItemPrefix) {
        // No long item is defined; skip its data once we know all of it is there.
        if (raw_.size() - pos < 3) return fail("truncated long item");
        const std::size_t length = raw_[pos + 1];
        if (raw_.size() - pos - 3 < length) return fail("truncated long item");
        pos += 3 + length;
        continue;
      }
      const std::size_t size = (prefix & 3u) == 3 ? 4 : (prefix & 3u);
      if (raw_.size() - pos - 1 < size) return fail("truncated item");
      std::uint32_t data = 0;
      for (std::size_t i = 0; i < size; ++i) data |= std::uint32_t{raw_[pos + 1 + i]} << (8 * i);
      const unsigned type = (prefix >> 2) & 3u;
      const unsigned tag = prefix >> 4;
      pos += 1 + size;

      bool ok = true;
      switch (type) {
        case kMain: ok = main_item(tag, data, collections); break;
        case kGlobal: ok = global_item(tag, data); break;
        case kLocal: local_item(tag, data, size); break;
        case kReserved: break;
      }
      if (!ok) return false;
    }
    if (depth_ != 0) return fail("unclosed collection");
    if (collections.empty()) return fail("no top-level collection");

    numbered = numbered_;
    for (unsigned id = 0; id < bits_.size(); ++id) {
      const auto& bits = bits_[id];
      if (bits[kInputKind] == 0 && bits[kOutputKind] == 0 && bits[kFeatureKind] == 0) continue;
      ReportLengths lengths;
      lengths.input = bytes(bits[kInputKind]);
      lengths.output = bytes(bits[kOutputKind]);
      lengths.feature = bytes(bits[kFeatureKind]);
      reports[static_cast<std::uint8_t>(id)] = lengths;
    }
    return true;
  }

  const char* failure() const { return failure_; }

 private:
  bool fail(const char* why) {
    failure_ = why;
    return false;
  }

  unsigned bytes(std::uint32_t bits) const {
    if (bits == 0) return 0;
    return (bits + 7) / 8 + (numbered_ ? 1 : 0);
  }

  bool main_item(unsigned tag, std::uint32_t data, std::vector<TopLevelCollection>& collections) {
    bool ok = true;
    switch (tag) {
      case kInput: ok = report_item(kInputKind, data, collections); break;
      case kOutput: ok = report_item(kOutputKind, data, collections); break;
      case kFeature: ok = report_item(kFeatureKind, data, collections); break;
      case kCollection:
        if (depth_ >= ReportDescriptor::kMaxCollectionDepth) return fail("collections nested too deeply");
        if (depth_ == 0) {
          TopLevelCollection top;
          const std::uint32_t usage = locals_.collection_usage();
          top.usage_page = static_cast<std::uint16_t>(usage >> 16);
          top.usage = static_cast<std::uint16_t>(usage & 0xFFFF);
          top.type = static_cast<std::uint8_t>(data);
          collections.push_back(std::move(top));
        }
        ++depth_;
        break;
      case kEndCollection:
        if (depth_ == 0) return fail("end collection without collection");
        --depth_;
        break;
      default: break;
    }
    locals_ = Locals{};
    return ok;
  }

  bool report_item(Kind kind, std::uint32_t data, std::vector<TopLevelCollection>& collections) {
    if (depth_ == 0) return fail("main item outside a collection");
    const std::uint8_t id = globals_.report_id;
    // Either every report carries an id or none does; a mix makes the lengths ambiguous.
    if (id == 0) {
      if (numbered_) return fail("mixes numbered and unnumbered reports");
      unnumbered_ = true;
    } else {
      if (unnumbered_) return fail("mixes numbered and unnumbered reports");
      numbered_ = true;
    }
    // Both factors were bounded when they were set, so the product cannot overflow.
    std::uint32_t& total = bits_[id][kind];
    total += globals_.report_size * globals_.report_count;
    if (total > ReportDescriptor::kMaxReportBytes * 8u) return fail("report too long");

    TopLevelCollection& top = collections.back();
    auto it = std::lower_bound(top.report_ids.begin(), top.report_ids.end(), id);
    if (it == top.report_ids.end() || *it != id) top.report_ids.insert(it, id);
    const bool constant = (data & 1u) != 0;
    if (!constant) {
      unsigned& items = kind == kInputKind    ? top.input_items
                        : kind == kOutputKind ? top.output_items
                                              : top.feature_items;
      ++items;
    }
    return true;
  }

  bool global_item(unsigned tag, std::uint32_t data) {
    switch (tag) {
      case kUsagePage:
        if (data > 0xFFFF) return fail("usage page out of range");
        globals_.usage_page = data;
        break;
      case kReportSize:
        if (data > ReportDescriptor::kMaxReportSizeBits) return fail("report size too large");
        globals_.report_size = data;
        break;
      case kReportId:
        if (data == 0 || data > 0xFF) return fail("report id out of range");
        globals_.report_id = static_cast<std::uint8_t>(data);
        break;
      case kReportCount:
        if (data > ReportDescriptor::kMaxReportCount) return fail("report count too large");
        globals_.report_count = data;
        break;
      case kPush:
        if (stack_size_ >= stack_.size()) return fail("push stack overflow");
        stack_[stack_size_++] = globals_;
        break;
      case kPop:
        if (stack_size_ == 0) return fail("pop without push");
        globals_ = stack_[--stack_size_];
        break;
      default: break;
    }
    return true;
  }

  void local_item(unsigned tag, std::uint32_t data, std::size_t size) {
    // A four-byte usage names its own page; a shorter one takes the current usage page.
    const std::uint32_t usage = size == 4 ? data : (globals_.usage_page << 16) | (data & 0xFFFF);
    if (tag == kUsage && !locals_.have_usage) {
      locals_.have_usage = true;
      locals_.usage = usage;
    } else if (tag == kUsageMinimum && !locals_.have_minimum) {
      locals_.have_minimum = true;
      locals_.minimum = usage;
    }
  }

  std::span<const Byte> raw_;
  const char* failure_ = nullptr;
  Globals globals_;
  Locals locals_;
  std::array<Globals, ReportDescriptor::kMaxGlobalStack> stack_{};
  std::size_t stack_size_ = 0;
  unsigned depth_ = 0;
  bool numbered_ = false;
  bool unnumbered_ = false;
  std::array<std::array<std::uint32_t, 3>, 256> bits_{};
};

}  // namespace

std::optional<ReportDescriptor> ReportDescriptor::parse(std::span<const Byte> raw,
                                                        const char** failure) {
  ReportDescriptor result;
  Parser parser(raw);
  if (!parser.run(result.collections_, result.reports_, result.numbered_)) {
    if (failure) *failure = parser.failure();
    return std::nullopt;
  }
  if (failure) *failure = nullptr;
  return result;
}

ReportLengths ReportDescriptor::lengths(std::uint8_t report_id) const {
  auto it = reports_.find(report_id);
  return it == reports_.end() ? ReportLengths{} : it->second;
}

}  // namespace dovod
