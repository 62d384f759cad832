#include "app/designed_fonts.h"

#include <QFont>
#include <QString>
#include <QStringList>

namespace velwin::app {

void SubstituteDesignedFonts() {
  // Liberation Sans and Liberation Mono (fonts-liberation) are drawn to the
  // advance widths of Arial and Courier New; Arimo and Cousine are the same
  // designs under other names. Without them fontconfig would give a wider
  // face, and the SRAM log would wrap after two words.
  const QStringList sans = {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo")};
  QFont::insertSubstitutions(QStringLiteral("Arial"), sans);
  QFont::insertSubstitutions(QStringLiteral("Courier New"),
                             {QStringLiteral("Liberation Mono"), QStringLiteral("Cousine")});
  // "MS Sans Serif" is a bitmap face of Windows; its scalable successor
  // Microsoft Sans Serif keeps its widths, which are close to Arial's. No
  // Debian font carries either name, so the Arial-compatible face stands in.
  QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), sans);
  QFont::insertSubstitutions(QStringLiteral("Microsoft Sans Serif"), sans);
}

}  // namespace velwin::app
