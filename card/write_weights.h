#pragma once

#include <cstdint>

#include "card/job_progress.h"
#include "card/write_plan.h"
#include "chips/flash_chip_table.h"

namespace velwin::card {

// What the steps of a write on chip over a link in linkMode are expected to
// take.
JobWeights WriteWeights(const xchanger::FlashChipSpec& chip, std::uint8_t linkMode);

// The expected work of carrying out plan: every erase, every program and the
// read back of every unit it touches.
std::uint64_t PlanWork(const JobWeights& weights, const WritePlan& plan);

// The most any write of imageBytes can cost on chip, known before the card
// is read: every unit the image reaches erased, programmed whole and read
// back. The plan made after the read never costs more.
std::uint64_t MostWriteWork(const JobWeights& weights, const xchanger::FlashChipSpec& chip,
                            std::uint64_t imageBytes);

}  // namespace velwin::card
