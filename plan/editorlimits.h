#pragma once

// The limits the window's editors put on a configuration, taken from the
// image: the panels set their editors from here, and the command-line tool's
// check refuses what those editors would not let a user enter.

#include <QtCore/QByteArray>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

class ConfigStore;

namespace editorlimits {

// The channel table's columns after Mode, in its order, that each channel
// mode lets the user edit (the Mode column always is).
enum Column { FIn, Polarization, Input, IfIn, Output, IfOut, Bandwidth, Level, UserBand, Pin, ColumnCount };
inline constexpr std::array<std::array<bool, ColumnCount>, 7> EditableByMode{{
    {false, false, false, false, false, false, false, false, false, false}, // OFF
    {true, true, true, true, true, true, true, true, false, false},         // STATIC
    {false, false, false, false, true, true, true, true, true, true},       // SCR
    {false, false, false, false, true, true, true, true, true, true},       // SCD2
    {false, false, false, false, true, true, true, true, true, true},       // SCR/SCD2
    {false, false, false, false, true, true, true, true, true, true},       // BSKYB
    {false, false, false, false, true, true, false, false, false, false},   // TONE
}};

// The editors' ranges as the image gives them; a missing limit leaves the
// editor's own. Frequencies in kHz (the editors take whole MHz), levels as
// shown (the image's offset added).
struct Limits {
    std::optional<std::uint32_t> ifInMin, ifInMax, ifOutMin, ifOutMax, bandwidthMin, bandwidthMax;
    std::optional<std::int32_t> levelMin, levelMax;
};
Limits limits(ConfigStore &store);

// One value of slot 0 that an editor would not take: a number outside its
// range, or a code none of the editor's choices has.
struct Fault {
    int row = -1;     // channel row (0-based), -1 for a port or the LNB supply
    QByteArray field; // the image field, e.g. "CSS[3].OutputFrequency"
    bool code = false;
    // As the editor shows them (MHz, dBuV, 1-based ports); for a code, the
    // code alone.
    std::int64_t value = 0, minimum = 0, maximum = 0;
};
// Every out-of-limit value of the held configuration: LNB supply mode within
// its range, each port's codes in their lists, and each channel row's codes,
// port numbers, IF IN, IF OUT, bandwidth and level, for the columns its mode
// lets the user edit.
std::vector<Fault> faults(ConfigStore &store);

} // namespace editorlimits
