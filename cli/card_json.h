#pragma once

#include <cstdint>
#include <string>

#include "card/card_kind.h"

namespace velwin::cli {

// How every card command gives the card in its JSON, so that a script reads
// it one way: "card" is the flash card's size in Mbit (4, 16 or 64), null
// for any other cart or when none was identified, and "cardName" is the card
// as the text output names it ("64 Mbit flash card", "game cart, MBC5,
// 1 MiB"), null when none was identified. Returns the two members without
// braces, e.g. "card":64,"cardName":"64 Mbit flash card".
std::string JsonCardMembers(const card::CardIdentity* card);

// The same from a flash card's size (0 for none) and the card's name (empty
// for none), for a job that kept only those.
std::string JsonCardMembers(std::uint8_t flashMbit, const std::string& name);

}  // namespace velwin::cli
