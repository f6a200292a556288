#pragma once

// The three channel plan rules as the Write command applies them: their
// order and the message shown when one fails. The window and the
// command-line tool both take them from here.

#include "plan/channelrules.h"

#include <QtCore/QString>

#include <array>
#include <cstddef>
#include <vector>

namespace planrules {

enum class Rule { OutputFrequencies, Bandwidths, UserBands };

// Write stops at the first of these that fails.
inline constexpr std::array<Rule, 3> WriteOrder{Rule::OutputFrequencies, Rule::Bandwidths, Rule::UserBands};

// The Write command's message for a failed rule, translated as the window shows it.
QString message(Rule rule);
// The same text untranslated.
const char *messageSource(Rule rule);
// A fixed name for scripts.
const char *key(Rule rule);

// The rows the rule marks.
channelrules::RowFlags faults(Rule rule, const std::vector<channelrules::ChannelRow> &rows, std::size_t outputCount);

} // namespace planrules
