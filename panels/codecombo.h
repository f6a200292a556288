#ifndef OSTREL_PANELS_CODECOMBO_H
#define OSTREL_PANELS_CODECOMBO_H

#include "config/codenames.h"

#include <QComboBox>
#include <QString>

#include <cstdint>

// Combo boxes whose items stand for byte codes of the configuration image.
// The code lives in the item's user-role datum; the text is only for the user.
namespace codecombo {

using CodeItem = codenames::CodeName;

// Turns a table text into the shown text (translated or verbatim).
using TextFn = QString (*)(const char *);

QString verbatim(const char *text);

// Appends the items of any table whose entries have `text` and `code`,
// then leaves the combo without a current item.
template <typename Items>
void fill(QComboBox *combo, const Items &items, TextFn text)
{
    for (const auto &item : items)
        combo->addItem(text(item.text), static_cast<int>(item.code));
    combo->setCurrentIndex(-1);
}

// How a code that no list knows is shown.
QString unknownText(std::uint32_t code);

// Selects the item carrying `code`. A code the list lacks gets an item of its
// own, shown as unknown, so that it is kept until the user picks another.
void select(QComboBox *combo, std::uint8_t code);

// The current item's code; 0 when no item is current.
std::uint8_t code(const QComboBox *combo);

} // namespace codecombo

#endif
