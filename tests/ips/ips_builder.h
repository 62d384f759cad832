#pragma once

// Builds IPS files in memory and applies them the plain way, record by
// record on a byte vector, as the yardstick for the patcher.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace velwin::testing {

struct IpsRecord {
  std::uint32_t offset = 0;        // 24 bits
  std::vector<std::uint8_t> data;  // empty: a run record
  std::uint16_t runLength = 0;
  std::uint8_t runValue = 0;
};

class IpsBuilder {
 public:
  IpsBuilder() { Append("PATCH"); }

  IpsBuilder& Data(std::uint32_t offset, std::vector<std::uint8_t> data) {
    records_.push_back({offset, std::move(data), 0, 0});
    return *this;
  }
  IpsBuilder& Run(std::uint32_t offset, std::uint16_t length, std::uint8_t value) {
    records_.push_back({offset, {}, length, value});
    return *this;
  }

  // The file: signature, the records, then trailer (for instance "EOF").
  std::vector<std::uint8_t> Bytes(const std::string& trailer = "") const {
    std::vector<std::uint8_t> out = head_;
    for (const auto& r : records_) {
      out.push_back(static_cast<std::uint8_t>(r.offset >> 16));
      out.push_back(static_cast<std::uint8_t>(r.offset >> 8));
      out.push_back(static_cast<std::uint8_t>(r.offset));
      const auto size = static_cast<std::uint16_t>(r.data.size());
      out.push_back(static_cast<std::uint8_t>(size >> 8));
      out.push_back(static_cast<std::uint8_t>(size));
      if (size != 0) {
        out.insert(out.end(), r.data.begin(), r.data.end());
      } else {
        out.push_back(static_cast<std::uint8_t>(r.runLength >> 8));
        out.push_back(static_cast<std::uint8_t>(r.runLength));
        out.push_back(r.runValue);
      }
    }
    out.insert(out.end(), trailer.begin(), trailer.end());
    return out;
  }

  // Where each record ends in Bytes(), counted from the start of the file.
  std::vector<std::size_t> RecordEnds() const {
    std::vector<std::size_t> ends;
    std::size_t at = head_.size();
    for (const auto& r : records_) {
      at += 5 + (r.data.empty() ? 3 : r.data.size());
      ends.push_back(at);
    }
    return ends;
  }

  const std::vector<IpsRecord>& Records() const { return records_; }

 private:
  // Byte by byte: GCC 12 at -O3 warns falsely (-Wstringop-overflow) about
  // a range insert here.
  void Append(const std::string& text) {
    for (const char c : text)
      head_.push_back(static_cast<std::uint8_t>(c));
  }

  std::vector<std::uint8_t> head_;
  std::vector<IpsRecord> records_;
};

// Applies the first count records to rom, growing it with zero bytes where a
// record lands past its end.
inline void ReferenceApply(std::vector<std::uint8_t>& rom, const std::vector<IpsRecord>& records,
                           std::size_t count) {
  for (std::size_t i = 0; i < count && i < records.size(); ++i) {
    const auto& r = records[i];
    const std::size_t length = r.data.empty() ? r.runLength : r.data.size();
    if (length == 0)
      continue;
    if (rom.size() < r.offset + length)
      rom.resize(r.offset + length, 0);
    if (r.data.empty()) {
      std::fill_n(rom.begin() + r.offset, length, r.runValue);
    } else {
      std::copy(r.data.begin(), r.data.end(), rom.begin() + r.offset);
    }
  }
}

}  // namespace velwin::testing
