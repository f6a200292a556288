// .scd load: any bytes as a file, and once more with Magic, Version and the sum
// made right. An accepted file must save back as the same bytes, and a typed
// access by every name of its map must stay in the image.
#include "fuzzsupport.h"

using namespace fuzzsupport;

namespace {

ConfigStore &store()
{
    static ConfigStore *s = [] {
        quiet();
        auto *created = new ConfigStore;  // lives for the whole run
        created->loadEmbeddedMaps();
        return created;
    }();
    return *s;
}

void checkEveryField(ConfigStore &s, const FieldMap &map, const QByteArray &image)
{
    for (const FieldRecord &r : map.records) {
        if (r.name[0] == '\0')
            break;
        const QByteArray name(r.name.data(), int(qstrnlen(r.name.data(), r.name.size())));
        uint32_t value = 0;
        int32_t signedValue = 0;
        s.getBool(value, name);
        s.getInt(signedValue, name);
        // Writing back what was read changes nothing for fields of up to 32 bits.
        if (r.size <= 4 && s.getUInt(value, name))
            s.setUInt(value, name);
    }
    const uint8_t *held = s.slotPointer(0);
    if (!held || QByteArray(reinterpret_cast<const char *>(held), int(map.imageSize)) != image)
        fail("reading and writing back every field changed the image");
}

void loadAndSave(const QByteArray &input)
{
    ConfigStore &s = store();
    s.image().clear();
    if (!s.loadFile(writeScratch("in.scd", input).toUtf8(), 0))
        return;
    const FieldMap *map = s.loadedMap();
    if (!map || input.size() < 32 + int(map->imageSize))
        fail("a file was accepted without a map or whole image");
    const QByteArray image = input.mid(32, int(map->imageSize));
    checkEveryField(s, *map, image);

    const QString out = scratch("out.scd");
    if (!s.saveFile(out.toUtf8(), 0))
        fail("an accepted file could not be saved");
    const QByteArray name(map->modelName.data(), int(map->modelName.size()));
    if (readAll(out) != name + image)
        fail("saving an accepted file changed its bytes");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));
    loadAndSave(input);
    // Few mutations keep the byte sum: the same bytes once more with the
    // checks made to pass, under the model the name gives (if any).
    for (const auto &map : store().maps())
        if (FieldMap::sameName(map->modelName, input.constData(), std::size_t(qMin(input.size(), 32))) && input.size() >= 32)
            loadAndSave(input.left(32) + forged(store(), *map, input.mid(32)));
    return 0;
}
