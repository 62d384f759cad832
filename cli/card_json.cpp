#include "cli/card_json.h"

#include "cli/json_text.h"

namespace velwin::cli {

std::string JsonCardMembers(const card::CardIdentity* card) {
  if (card == nullptr)
    return JsonCardMembers(0, {});
  const std::uint8_t mbit = card->kind == card::CardKind::kFlashCard ? card->flashMbit : 0;
  return JsonCardMembers(mbit, card::CardDescription(*card));
}

std::string JsonCardMembers(std::uint8_t flashMbit, const std::string& name) {
  return "\"card\":" + (flashMbit != 0 ? std::to_string(int{flashMbit}) : std::string("null")) +
         ",\"cardName\":" + (name.empty() ? std::string("null") : JsonString(name));
}

}  // namespace velwin::cli
