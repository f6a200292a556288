#include "panels/codecombo.h"

namespace codecombo {

QString verbatim(const char *text)
{
    return QString::fromLatin1(text);
}

void select(QComboBox *combo, std::uint8_t code)
{
    combo->setCurrentIndex(combo->findData(static_cast<int>(code)));
}

std::uint8_t code(const QComboBox *combo)
{
    return static_cast<std::uint8_t>(combo->currentData().toUInt());
}

} // namespace codecombo
