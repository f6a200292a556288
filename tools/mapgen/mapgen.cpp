// Build-time generator: turns the readable field layout into one binary field map.
// Usage: mapgen <layout file> <model name> <output .map>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kNameBytes = 32;

struct Record {
    std::string name;
    uint32_t address = 0;
    uint32_t size = 0;
    uint32_t type = 0;
    bool blankFilled = false;
};

[[noreturn]] void fail(const std::string &where, const std::string &what)
{
    std::cerr << "mapgen: " << where << ": " << what << '\n';
    std::exit(1);
}

uint32_t parseNumber(const std::string &text, const std::string &where)
{
    try {
        std::size_t used = 0;
        const unsigned long value = std::stoul(text, &used, 0);
        if (used != text.size() || value > 0xFFFFFFFFul)
            fail(where, "bad number '" + text + "'");
        return static_cast<uint32_t>(value);
    } catch (const std::exception &) {
        fail(where, "bad number '" + text + "'");
    }
}

uint32_t parseType(const std::string &text, const std::string &where)
{
    static const std::map<std::string, uint32_t> codes{{"BOOL", 1}, {"UINT", 2}, {"INT", 3}, {"BYTES", 4}};
    const auto it = codes.find(text);
    if (it == codes.end())
        fail(where, "unknown type '" + text + "'");
    return it->second;
}

void putLE(std::string &out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void putName(std::string &out, const std::string &name, char fill, const std::string &where)
{
    if (name.size() > kNameBytes)
        fail(where, "name longer than 32 bytes: " + name);
    out += name;
    out.append(kNameBytes - name.size(), fill);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::cerr << "usage: mapgen <layout> <model name> <output.map>\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in)
        fail(argv[1], "cannot open");

    // Header keys in file order with their widths.
    const std::vector<std::pair<std::string, int>> headerFields{
        {"hwVersion", 1}, {"swVersion", 1}, {"csPin", 1}, {"clockPin", 1}, {"mosiPin", 1},
        {"misoPin", 1}, {"flashLineA", 1}, {"accessLine", 1}, {"spareLine", 1}, {"flashLineB", 1},
        {"imageBase", 4}, {"slotStride", 4}, {"imageSize", 4}, {"maxSlot", 1}, {"version", 2}};
    std::map<std::string, uint32_t> header;
    std::vector<Record> records;
    uint32_t address = 0;

    struct Group {
        std::string name;
        uint32_t count = 0;
        uint32_t stride = 0;
        std::vector<Record> fields;
        uint32_t width = 0;
    };
    bool inGroup = false;
    Group group;

    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        const std::string where = std::string(argv[1]) + ":" + std::to_string(lineNo);
        if (const auto hash = line.find('#'); hash != std::string::npos)
            line.erase(hash);
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string s; words >> s;)
            w.push_back(s);
        if (w.empty())
            continue;

        if (w[0] == "group") {
            if (inGroup || w.size() != 4)
                fail(where, "expected 'group <Name> <count> <stride>'");
            group = Group{w[1], parseNumber(w[2], where), parseNumber(w[3], where), {}, 0};
            inGroup = true;
        } else if (w[0] == "end") {
            if (!inGroup)
                fail(where, "'end' without 'group'");
            if (group.width != group.stride)
                fail(where, "group " + group.name + " fields span " + std::to_string(group.width)
                                + " bytes, stride is " + std::to_string(group.stride));
            for (uint32_t i = 0; i < group.count; ++i) {
                for (Record r : group.fields) {
                    r.name = group.name + "[" + std::to_string(i) + "]." + r.name;
                    r.address += address + i * group.stride;
                    records.push_back(r);
                }
            }
            address += group.count * group.stride;
            inGroup = false;
        } else if (w.size() == 2) {
            bool known = false;
            for (const auto &h : headerFields)
                known = known || h.first == w[0];
            if (!known)
                fail(where, "unknown header value '" + w[0] + "'");
            header[w[0]] = parseNumber(w[1], where);
        } else if (w.size() == 3 || (w.size() == 4 && w[3] == "blank-filled")) {
            Record r{w[0], 0, parseNumber(w[1], where), parseType(w[2], where), w.size() == 4};
            if (inGroup) {
                r.address = group.width;
                group.width += r.size;
                group.fields.push_back(r);
            } else {
                r.address = address;
                address += r.size;
                records.push_back(r);
            }
        } else {
            fail(where, "cannot read this line");
        }
    }
    if (inGroup)
        fail(argv[1], "group " + group.name + " has no 'end'");
    for (const auto &h : headerFields)
        if (!header.count(h.first))
            fail(argv[1], "missing header value " + h.first);
    if (address != header["imageSize"])
        fail(argv[1], "fields cover " + std::to_string(address) + " bytes, imageSize is "
                          + std::to_string(header["imageSize"]));

    std::string out;
    putName(out, argv[2], '\0', "model name");
    for (const auto &h : headerFields)
        putLE(out, header[h.first], h.second);
    for (const Record &r : records) {
        putName(out, r.name, r.blankFilled ? ' ' : '\0', r.name);
        putLE(out, r.address, 4);
        putLE(out, r.size, 4);
        putLE(out, r.type, 4);
    }

    std::ofstream file(argv[3], std::ios::binary | std::ios::trunc);
    file.write(out.data(), static_cast<std::streamsize>(out.size()));
    file.close();
    if (!file)
        fail(argv[3], "cannot write");
    return 0;
}
