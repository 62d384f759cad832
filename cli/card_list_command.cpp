#include <ostream>
#include <string>
#include <string_view>

#include "card/card_listing.h"
#include "cli/card_json.h"
#include "cli/card_session.h"
#include "cli/card_verbs.h"
#include "cli/help_text.h"
#include "cli/json_text.h"
#include "encoding/windows1252.h"

namespace velwin::cli {
namespace {

template <typename Number>
std::string JsonNumberOrNull(const std::optional<Number>& value) {
  return value ? std::to_string(*value) : "null";
}

void PrintText(const card::CardContents& contents, std::ostream& out) {
  out << contents.description << ": " << contents.layout << '\n';
  for (std::size_t i = 0; i < contents.games.size(); ++i) {
    const card::ListedGame& game = contents.games[i];
    out << i << '\t' << encoding::Windows1252ToUtf8(game.title) << '\t';
    if (game.firstRomBank) {
      out << "ROM bank " << *game.firstRomBank;
      if (game.romBanks)
        out << ", " << *game.romBanks << (*game.romBanks == 1 ? " bank" : " banks");
    } else {
      out << '-';
    }
    out << '\t';
    if (game.sramSize.empty()) {
      out << "no SRAM";
    } else {
      out << "SRAM " << game.sramSize;
      if (game.firstSramBank)
        out << " from bank " << int{*game.firstSramBank};
    }
    out << '\n';
  }
}

void PrintJson(const card::CardIdentity& card, const card::CardContents& contents,
               std::ostream& out) {
  out << '{' << JsonCardMembers(&card) << ",\"layout\":" << JsonString(contents.layout)
      << ",\"games\":[";
  for (std::size_t i = 0; i < contents.games.size(); ++i) {
    const card::ListedGame& game = contents.games[i];
    out << (i ? "," : "") << "{\"title\":" << JsonString1252(game.title)
        << ",\"firstRomBank\":" << JsonNumberOrNull(game.firstRomBank)
        << ",\"romBanks\":" << JsonNumberOrNull(game.romBanks)
        << ",\"sram\":" << (game.sramSize.empty() ? std::string("null") : JsonString(game.sramSize))
        << ",\"firstSramBank\":"
        << (game.firstSramBank ? std::to_string(int{*game.firstSramBank}) : "null") << '}';
  }
  out << "]}\n";
}

}  // namespace

int RunCardList(const Arguments& args, std::ostream& out, std::ostream& err) {
  CardOptions options;
  if (const auto problem = ParseCardOptions(args, {}, false, options)) {
    return ReportCardUsage(err, "list", *problem, options);
  }
  const auto session =
      CardSession::Open(options.port, err, options.json ? &out : nullptr, options.trace);
  if (!session)
    return 1;
  int status = 1;
  const card::CardIdentification found = session->Identify();
  const card::CardContents contents =
      found.card ? card::ListCard(session->Cart(), *found.card, session->Pump())
                 : card::CardContents{};
  // A listing is shown only when the cart still answers as the same card
  // and the data lines proved sound.
  const std::string error =
      found.card ? card::ListingFault(session->Cart(), *found.card) : found.error;
  if (!error.empty()) {
    ReportCardFailure(err, "card list", error);
    if (options.json)
      out << '{' << JsonCardMembers(found.card ? &*found.card : nullptr)
          << ",\"error\":" << JsonString(error) << "}\n";
  } else {
    if (options.json)
      PrintJson(*found.card, contents, out);
    else
      PrintText(contents, out);
    status = 0;
  }
  if (!session->Flush(err))
    return 1;
  return status;
}

}  // namespace velwin::cli
