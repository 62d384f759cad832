#include "sramman/test_link_action.h"

#include <QAction>
#include <QMenu>
#include <QMessageBox>

#include "card/link_check.h"
#include "chips/link_timing.h"
#include "gui/message_boxes.h"

namespace velwin::sramman {
namespace {

void ShowFindings(QWidget* parent, const QString& text) {
  QMessageBox::information(parent, QStringLiteral("Test Link"), text);
}

std::string FindingsText(const card::LinkFindings& findings, const xchanger::LinkTiming& timing) {
  using xchanger::MicrosecondsText;
  std::string text = "X-Changer found in " + findings.mode + " mode.\n";
  if (!findings.sppWhy.empty())
    text += "SPP because " + findings.sppWhy + ".\n";
  text += "Path: " + findings.path + "; port kind: " + findings.portKind + ".\n";
  if (!findings.assumed.empty())
    text += "Assumed: " + findings.assumed + ".\n";
  text += "A loaded byte takes " + MicrosecondsText(timing.usPerByte) + " us (median), " +
          MicrosecondsText(timing.usPerByteHigh) + " us for 99.9% of bytes.\n";
  for (const card::CardLinkFinding& card : findings.cards) {
    text += "\n" + std::to_string(card.cardMbit) + " Mbit card: ";
    if (card.maxUsPerByte == 0)
      text += "can be written over this path (its chip waits for every byte).";
    else if (card.writable)
      text += "can be written over this path (a byte must take under " +
              MicrosecondsText(card.maxUsPerByte) + " us).";
    else if (card.loadsFit)
      text += "fast enough, but its pauses come too often: " + card.causeText +
              ".\nTo write it: " + card.remedy + ".";
    else
      text += "too slow over this path (a byte must take under " +
              MicrosecondsText(card.maxUsPerByte) + " us): " + card.causeText +
              ".\nTo write it: " + card.remedy + ".";
  }
  return text;
}

}  // namespace

TestLinkAction::TestLinkAction(QMenu* menu, QWidget* window, xchanger::CartAccess& cart,
                               xchanger::PortBackend& port, LinkJobHost& host)
    : QObject(window), window_(window), cart_(cart), port_(port), host_(host), show_(ShowFindings) {
  action_ = menu->addAction(QStringLiteral("Test Link\u2026"));
  connect(action_, &QAction::triggered, this, &TestLinkAction::TestLink);
}

void TestLinkAction::TestLink() {
  if (!host_.BeginLinkJob())
    return;
  struct EndJob {
    LinkJobHost& host;
    ~EndJob() { host.EndLinkJob(); }
  } end{host_};
  host_.SetStopNote("Test Link runs to its end first; it changes nothing on the cart.");
  xchanger::XChangerLink& link = cart_.Link();
  if (!link.FindXChanger()) {
    host_.LogStatus("No X-Changer found");
    show_(window_, QStringLiteral("No X-Changer found."));
    return;
  }
  const xchanger::LinkTiming timing = xchanger::TimeLink(link, port_.Clock());
  link.ResetLink();
  link.ReleaseLink();
  const card::LinkFindings findings = card::CheckLink(port_.Path(), link.LinkMode(), timing);
  host_.LogStatus("Link tested: a loaded byte takes " +
                  xchanger::MicrosecondsText(timing.usPerByteHigh) + " us for 99.9% of bytes.");
  show_(window_, QString::fromStdString(FindingsText(findings, timing)));
}

}  // namespace velwin::sramman
