#include "chips/flash_driver.h"

#include "chips/intel_block_flash.h"
#include "chips/macronix_sector_flash.h"
#include "chips/winbond_page_write.h"

namespace velwin::xchanger {

std::unique_ptr<FlashDriver> MakeFlashDriver(const FlashChipSpec& chip, CartAccess& cart,
                                             ChipClock& clock) {
  switch (chip.family) {
    case FlashFamily::kWinbondPageWrite:
      return std::make_unique<WinbondPageWrite>(chip, cart, clock);
    case FlashFamily::kMacronixSectorFlash:
      return std::make_unique<MacronixSectorFlash>(chip, cart, clock);
    case FlashFamily::kIntelBlockFlash:
      return std::make_unique<IntelBlockFlash>(chip, cart, clock);
  }
  return nullptr;
}

}  // namespace velwin::xchanger
