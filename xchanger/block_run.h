#pragma once

#include <cstdint>
#include <span>

#include "xchanger/link.h"

namespace velwin::xchanger {

// Reads whole 256-byte blocks from cart address start on as one run of
// block-mode data cycles, with the address set once instead of per block.
// That takes the X-Changer's address latch counting on across the block
// boundaries, carrying into AddrHighReg. Nothing written about the
// X-Changer promises more than 256 steps, so the run checks it: afterwards
// both address registers are read back and must hold the address after the
// last byte. A latch that stopped or wrapped fails the check; the bytes are
// then not the cart's, the caller reads block by block, and runsCarry turns
// false so that the next run is not tried at all.
//
// Only where the port takes a run for less than its bytes (ppdev in EPP
// mode: one transfer for the kernel); elsewhere every byte costs its
// accesses anyway, the blocks are read as they always were, and false is
// returned at once.
bool ReadBlockRun(XChangerLink& link, std::uint16_t start, std::span<std::uint8_t> data,
                  bool& runsCarry);

}  // namespace velwin::xchanger
