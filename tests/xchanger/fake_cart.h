#pragma once

#include <cstdint>
#include <vector>

#include "fake_xchanger.h"

namespace velwin::xchanger::testing {

// A flash card behind the fake X-Changer: an MBC5-like mapper, SRAM whose
// bank register wraps at the card's bank count, and a flash chip that enters
// its identification mode on the command byte of its kind.
class FakeCart {
 public:
  enum Chip { kNoChip, k4Mbit, k16Mbit, k64Mbit };

  FakeCart(FakeXChanger& xchanger, Chip chip, std::size_t sramBanks, std::size_t romBanks = 32)
      : rom(romBanks * 0x4000), sram(sramBanks * 0x2000), chip_(chip), sramBanks_(sramBanks) {
    for (std::size_t i = 0; i < rom.size(); ++i) {
      rom[i] = static_cast<std::uint8_t>((i * 7) ^ (i >> 14));
    }
    xchanger.cartRead = [this](std::uint16_t address) { return Read(address); };
    xchanger.cartWrite = [this](const BusEvent& event) { Write(event); };
  }

  std::uint8_t winbondDevice = 0x46;
  std::uint16_t romBank = 1;
  std::vector<std::uint8_t> rom;
  std::vector<std::uint8_t> sram;

 private:
  enum Id { kArray, kWinbondId, kMacronixId, kCfi };

  std::uint8_t Read(std::uint16_t address) const {
    switch (id_) {
      case kWinbondId:
        return address == 0 ? 0xDA : address == 1 ? winbondDevice : 0x00;
      case kMacronixId:
        return address == 0 ? 0xC2 : address == 2 ? 0xF1 : 0x00;
      case kCfi: {
        const std::uint8_t answers[0x13] = {0x89, 0x15, 0, 0, 0, 0, 0,   0,   0,  0,
                                            0,    0,    0, 0, 0, 0, 'Q', 'R', 'Y'};
        return address % 2 == 0 && address / 2 < 0x13 ? answers[address / 2] : 0x00;
      }
      case kArray:
        break;
    }
    if (chip_ == kNoChip) {
      return 0xFF;
    }
    if (address < 0x4000) {
      return rom[address];
    }
    if (address < 0x8000) {
      return rom[(romBank * 0x4000u + (address - 0x4000u)) % rom.size()];
    }
    if (address >= 0xA000 && address < 0xC000 && sramEnabled_) {
      return sram[sramBank_ * 0x2000u + (address - 0xA000u)];
    }
    return 0xFF;
  }

  void Write(const BusEvent& event) {
    if (event.kind == BusEvent::kFlashCommand) {
      if (event.value == 0x60 && chip_ == k4Mbit) {
        id_ = kWinbondId;
      } else if (event.value == 0x90 && chip_ == k16Mbit) {
        id_ = kMacronixId;
      } else if (event.value == 0x98 && chip_ == k64Mbit) {
        id_ = kCfi;
      } else if (event.value == 0xF0 || event.value == 0xFF) {
        id_ = kArray;
      }
      return;
    }
    const std::uint16_t a = event.address;
    if (a < 0x2000) {
      sramEnabled_ = (event.value & 0x0F) == 0x0A;
    } else if (a < 0x3000) {
      romBank = static_cast<std::uint16_t>((romBank & 0xFF00u) | event.value);
    } else if (a < 0x4000) {
      romBank = static_cast<std::uint16_t>((romBank & 0x00FFu) | (event.value << 8));
    } else if (a < 0x6000) {
      sramBank_ = event.value % sramBanks_;  // the mapper ignores the high bank bits
    } else if (a >= 0xA000 && a < 0xC000 && sramEnabled_) {
      sram[sramBank_ * 0x2000u + (a - 0xA000u)] = event.value;
    }
  }

  Chip chip_;
  std::size_t sramBanks_;
  Id id_ = kArray;
  bool sramEnabled_ = false;
  std::size_t sramBank_ = 0;
};

}  // namespace velwin::xchanger::testing
