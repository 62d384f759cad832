#include "cart/cart_family.h"

namespace velwin::cart {

bool StartsWith(const std::string& text, std::string_view prefix) {
  return text.size() >= prefix.size() && std::string_view(text).substr(0, prefix.size()) == prefix;
}

CartFamily FamilyOf(const xchanger::CartHeader& header) {
  if (header.Signature == kMenuSignature || header.Title == kMenuTitle)
    return CartFamily::kMenuCard;
  if (StartsWith(header.Title, kGbpackTitle))
    return CartFamily::kGbpackCard;
  return CartFamily::kSingleCart;
}

std::string MenuEntryName(const std::uint8_t* entry) {
  std::string name(kMenuNameSize, ' ');
  for (std::size_t i = 0; i < kMenuNameSize; ++i) {
    if (entry[i] != 0)
      name[i] = static_cast<char>(entry[i]);
  }
  return name;
}

}  // namespace velwin::cart
