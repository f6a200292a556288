#pragma once

#include "panels/gbtablecss.h"

#include <QtCore/QPair>
#include <QtCore/QVector>

using Inputs = QVector<QPair<int, int>>; // DiSEqC bank word, LO code

// Fills the way the image loader does: guard raised, so no reactions.
// Per row: mode, input, IF IN, output, IF OUT, bandwidth, user band (0-based); MHz.
inline void fill(gbTableCSS &table, const Inputs &inputs, const QVector<QVector<unsigned>> &rows)
{
    for (const auto &input : inputs)
        table.addInput(1, std::uint8_t(input.first), std::uint8_t(input.second));
    ++table.updateGuard;
    table.setRowCount(rows.size());
    for (int r = 0; r < rows.size(); ++r) {
        table.setMode(r, std::uint8_t(rows[r][0]));
        table.applyRowMode(r);
        table.setInputPort(r, std::uint8_t(rows[r][1]));
        table.setIfIn(r, rows[r][2] * 1000);
        table.deriveFromIfIn(r);
        table.setOutputPort(r, std::uint8_t(rows[r][3]));
        table.setIfOut(r, rows[r][4] * 1000);
        table.setBandwidth(r, rows[r][5] * 1000);
        table.setUserBand(r, std::uint8_t(rows[r][6]));
    }
    --table.updateGuard;
}
