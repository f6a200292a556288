#pragma once

#include <QtCore/QByteArray>
#include <QtCore/QString>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

enum class FieldType : uint32_t { BOOL = 1, UINT = 2, INT = 3, BYTES = 4 };

// "BOOL", "UINT", "INT"; "BYTES" for every other code.
const char *fieldTypeName(uint32_t type);

// One named field of the configuration image, as stored in a .map file.
struct FieldRecord {
    std::array<char, 32> name{};   // NUL-filled, or all 32 bytes used with no NUL
    uint32_t address = 0;          // offset inside the image, not a flash address
    uint32_t size = 0;
    uint32_t type = 0;             // FieldType code

    bool fitsIn(uint32_t imageSize) const { return uint64_t(address) + size <= imageSize; }
    // The value as typed access sees it: UINT and INT big-endian (a field wider
    // than 4 bytes gives its last 4), BOOL 1 when any byte is set. `image`
    // must hold the field.
    uint32_t valueIn(const uint8_t *image) const;
    // Stores the low `size` bytes of value, most significant first (BOOL: the
    // low 8 bits as a number); bytes above the 32-bit value are zero.
    void storeIn(uint8_t *image, uint32_t value) const;
    // The name up to its first NUL.
    QByteArray nameText() const;
};

// One parsed .map file: the model's constants and the image layout.
struct FieldMap {
    static constexpr int kHeaderSize = 57;
    static constexpr int kRecordSize = 44;

    std::array<char, 32> modelName{};  // exactly as read, no terminator added
    uint8_t hwVersion = 0;
    uint8_t swVersion = 0;
    uint8_t csPin = 0;
    uint8_t clockPin = 0;
    uint8_t mosiPin = 0;
    uint8_t misoPin = 0;
    uint8_t flashLineA = 0;
    uint8_t accessLine = 0;
    uint8_t spareLine = 0;
    uint8_t flashLineB = 0;
    uint32_t imageBase = 0;
    uint32_t slotStride = 0;
    uint32_t imageSize = 0;
    uint32_t maxSlot = 0;
    uint16_t version = 0;
    // The file's records followed by one all-zero record that ends every walk.
    std::vector<FieldRecord> records{FieldRecord{}};

    // Parses map bytes; a short file leaves the missing header values zero.
    static std::unique_ptr<FieldMap> parse(const QByteArray &bytes);

    // First record with this name and type. A record that does not lie wholly
    // inside the image counts as absent, so no typed access can leave the image.
    const FieldRecord *find(const char *key, FieldType type) const;

    // The model name as text, up to its first NUL.
    QByteArray modelNameText() const;
    // True when both 32-byte names are equal as NUL-terminated texts.
    static bool sameName(const std::array<char, 32> &a, const char *b, std::size_t bLen);

    uint32_t slotAddress(uint32_t slot) const { return slot * slotStride + imageBase; }
};
