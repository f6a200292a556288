#pragma once

#include "plan/channelrules.h"

#include <QtCore/QRegularExpression>
#include <QtCore/QStringList>

#include <vector>

// Channel rows written compactly, one channel per token: mode letter, output,
// '@' IF OUT in MHz, then optionally '/' bandwidth in MHz and ':' user band as
// shown (1-based). Modes: O off, S static, R SCR, D SCD2, C SCR/SCD2, K BSKYB,
// T tone, X unknown.
inline std::vector<channelrules::ChannelRow> parseRows(const QString &text)
{
    const QRegularExpression token(R"(^([A-Z])(\d)@(\d+)(?:/(\d+))?(?::(\d+))?$)");
    std::vector<channelrules::ChannelRow> rows;
    for (const QString &part : text.split(' ', Qt::SkipEmptyParts)) {
        const auto m = token.match(part);
        if (!m.hasMatch())
            qFatal("bad row %s", qPrintable(part));
        const int mode = QString("OSRDCKT").indexOf(m.captured(1));
        rows.push_back({std::uint8_t(mode < 0 ? 0xFF : mode), std::uint8_t(m.captured(2).toInt()),
                        m.captured(3).toUInt() * 1000, m.captured(4).toUInt() * 1000,
                        std::uint8_t(m.captured(5).toInt() - 1)});
    }
    return rows;
}

// The 0-based rows whose flag is set, as "1 4".
template <typename Flags>
QString markedRows(const Flags &flags)
{
    QStringList rows;
    for (std::size_t r = 0; r < flags.size(); ++r)
        if (flags[r])
            rows << QString::number(r);
    return rows.join(' ');
}
