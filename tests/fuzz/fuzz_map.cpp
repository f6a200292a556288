// .map parsing and lookup: any bytes as a map. Every lookup must stay inside
// the image the map declares, and typed access must refuse what does not fit.
#include "fuzzsupport.h"

#include <algorithm>

using namespace fuzzsupport;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool silenced = (quiet(), true);
    Q_UNUSED(silenced)
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const auto map = FieldMap::parse(bytes);
    if (map->records.empty() || map->records.back().name[0] != '\0')
        fail("the record list does not end with an empty record");
    (void)map->modelNameText();
    (void)map->slotAddress(map->maxSlot);

    // Typed access on a buffer of the declared size (kept small), and on one byte too short.
    ConfigStore s;
    const int length = int(std::min<uint32_t>(map->imageSize, 1u << 16));
    QByteArray image(length, '\x5A');
    QByteArray shorter(std::max(length - 1, 0), '\x5A');
    for (const FieldRecord &r : map->records) {
        if (r.name[0] == '\0')
            break;
        const QByteArray name(r.name.data(), int(qstrnlen(r.name.data(), r.name.size())));
        for (FieldType type : {FieldType::BOOL, FieldType::UINT, FieldType::INT, FieldType::BYTES}) {
            const FieldRecord *found = map->find(name.constData(), type);
            if (found && uint64_t(found->address) + found->size > map->imageSize)
                fail("a record found lies outside the image");
        }
        uint32_t value = 0;
        const bool read = s.getUInt(value, name, 0, &image, map.get());
        if (read && uint32_t(length) < map->imageSize)
            fail("a field was read from a buffer shorter than the image");
        if (s.getUInt(value, name, 0, &shorter, map.get()) && map->imageSize > 0)
            fail("a field was read from a buffer one byte short");
        if (read)
            s.setUInt(value + 1, name, 0, &image, map.get());
        s.getBool(value, name, 0, &image, map.get());
    }
    s.imageValid(0, false, &image, map.get());
    return 0;
}
