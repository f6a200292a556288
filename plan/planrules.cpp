#include "plan/planrules.h"

#include <QtCore/QCoreApplication>

namespace planrules {

namespace {

struct RuleText {
    const char *message;
    const char *key;
};

// Texts of the window's Write command, hence its translation context.
constexpr std::array<RuleText, 3> Texts{{
    {QT_TRANSLATE_NOOP("MainWindow", "ERROR conflicting output frequencies or maximum number of channels per "
                                     "output sub-band has been reached!"),
     "outputFrequencies"},
    {QT_TRANSLATE_NOOP("MainWindow", "ERROR too many different bandwidth values!"), "bandwidths"},
    {QT_TRANSLATE_NOOP("MainWindow", "ERROR user band number not supported!"), "userBands"},
}};

const RuleText &text(Rule rule) { return Texts[std::size_t(rule)]; }

} // namespace

QString message(Rule rule)
{
    return QCoreApplication::translate("MainWindow", text(rule).message);
}

const char *messageSource(Rule rule) { return text(rule).message; }
const char *key(Rule rule) { return text(rule).key; }

channelrules::RowFlags faults(Rule rule, const std::vector<channelrules::ChannelRow> &rows, std::size_t outputCount)
{
    switch (rule) {
    case Rule::OutputFrequencies:
        return channelrules::outputFrequencyFaults(rows, outputCount);
    case Rule::Bandwidths:
        return channelrules::bandwidthFaults(rows);
    case Rule::UserBands:
        break;
    }
    return channelrules::userBandFaults(rows);
}

} // namespace planrules
