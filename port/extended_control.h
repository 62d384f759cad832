#pragma once

#include <cstdint>

#include "port/direct_port_system.h"

namespace velwin::xchanger {

// An ECP port's extended control register (ECR) sits 2 above the port's
// second block of registers, which on the main board's ports lies 0x400
// above the first (the kernel lists both bases). Its bits 7-5 choose the port's mode: 000 SPP, 001
// PS/2 (bidirectional), 010 and 011 FIFO modes, 100 EPP. The EPP address and data registers (base +
// 3, base + 4) answer only in mode 100; the kernel leaves the register in PS/2 mode and switches it
// round each transfer of its own.
inline constexpr std::uint16_t kEcrOffset = 0x402;
inline constexpr std::uint8_t kEcrModeMask = 0xE0;
inline constexpr std::uint8_t kEcrModePs2 = 0x20;
inline constexpr std::uint8_t kEcrModeEpp = 0x80;
// The register for a job of ours: EPP mode, with the error and service
// interrupts masked (bits 4 and 2) and DMA off (bit 3).
inline constexpr std::uint8_t kEcrForJob = kEcrModeEpp | 0x14;

// Whether an extended control register answers at ecr. A port
// that decodes only 10 address bits mirrors its control register there,
// so a read alone proves nothing: an idle ECR reads its FIFO empty (bit 0)
// and not full (bit 1), and reads a written mode back with those two bits.
// Leaves the register, or the mirrored control register, as found.
bool EcrAnswers(DirectPortSystem& system, std::uint16_t base, std::uint16_t ecr);

// The writes that take the register from one value to another: a move
// between two modes from 010 up passes through PS/2 mode (001), as the
// ECP register's rules require.
template <typename Write>
void MoveEcr(std::uint8_t from, std::uint8_t to, Write write) {
  const std::uint8_t fromMode = from & kEcrModeMask;
  const std::uint8_t toMode = to & kEcrModeMask;
  if (fromMode != toMode && fromMode >= 0x40 && toMode >= 0x40)
    write(static_cast<std::uint8_t>((to & ~kEcrModeMask) | kEcrModePs2));
  write(to);
}

}  // namespace velwin::xchanger
