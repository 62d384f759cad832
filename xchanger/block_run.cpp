#include "xchanger/block_run.h"

#include "xchanger/cart_bus.h"

namespace velwin::xchanger {

namespace {

std::uint8_t ReadRegister(XChangerLink& link, std::uint8_t reg) {
  link.SelectRegister(reg);
  link.SetControl(kControlRead);
  return link.ReadData();
}

}  // namespace

bool ReadBlockRun(XChangerLink& link, std::uint16_t start, std::span<std::uint8_t> data,
                  bool& runsCarry) {
  if (!runsCarry || link.LinkMode() == kLinkModeSpp || !link.PortTakesRuns() ||
      data.size() <= kBlockSize || data.size() % kBlockSize != 0 || start % kBlockSize != 0 ||
      data.size() > 0x10000u - start) {
    return false;
  }
  link.WriteRegister(AddrHighReg, static_cast<std::uint8_t>(start >> 8));
  link.WriteRegister(AddrLowReg, 0x00);
  link.WriteRegister(ModeReg, kModeBlock);
  link.SelectRegister(DataReg);
  link.SetControl(kControlRead);
  link.ReadDataRun(data);
  // Register reads do not step the latch; only data cycles do.
  const auto end = static_cast<std::uint32_t>(start + data.size());
  const bool carried = ReadRegister(link, AddrHighReg) == static_cast<std::uint8_t>(end >> 8) &&
                       ReadRegister(link, AddrLowReg) == 0x00;
  runsCarry = carried;
  return carried;
}

}  // namespace velwin::xchanger
