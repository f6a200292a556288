#include "panels/codecombo.h"

#include <QCoreApplication>

namespace codecombo {

QString verbatim(const char *text)
{
    return QString::fromLatin1(text);
}

QString unknownText(std::uint32_t code)
{
    return QCoreApplication::translate("codecombo", "unknown (%1)").arg(code);
}

void select(QComboBox *combo, std::uint8_t code)
{
    if (combo->findData(static_cast<int>(code)) < 0)
        combo->addItem(unknownText(code), static_cast<int>(code));
    combo->setCurrentIndex(combo->findData(static_cast<int>(code)));
}

std::uint8_t code(const QComboBox *combo)
{
    return static_cast<std::uint8_t>(combo->currentData().toUInt());
}

} // namespace codecombo
