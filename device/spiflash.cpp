#include "device/spiflash.h"

#include <QElapsedTimer>

#include <algorithm>
#include <limits>
#include <vector>

namespace {

constexpr uint8_t opReadId = 0x9F;
constexpr uint8_t opWriteEnable = 0x06;
constexpr uint8_t opReadStatus = 0x05;
constexpr uint8_t opWriteStatus = 0x01;
constexpr uint8_t opRead = 0x03;
constexpr uint8_t opPageProgram = 0x02;
constexpr uint8_t opSectorErase = 0xD7;
constexpr uint8_t statusWip = 0x01;
constexpr uint8_t filler = 0x00;

// Opcode followed by a 24-bit address, most significant byte first.
std::vector<uint8_t> addressed(uint8_t opcode, uint32_t address, uint32_t extra)
{
    std::vector<uint8_t> buf(4 + static_cast<size_t>(extra), filler);
    buf[0] = opcode;
    buf[1] = static_cast<uint8_t>(address >> 16);
    buf[2] = static_cast<uint8_t>(address >> 8);
    buf[3] = static_cast<uint8_t>(address);
    return buf;
}

enum class Poll { Idle, Busy, Failed };

} // namespace

SpiFlash::SpiFlash(SpiTransferFn fn, void *context)
    : m_transferContext(context), m_transferFn(fn), m_chip(kFlashChips[0])
{
}

void SpiFlash::setTransfer(SpiTransferFn fn, void *context)
{
    m_transferFn = fn;
    m_transferContext = context;
}

bool SpiFlash::isIdentified() const
{
    return m_chip.jedecId != kFlashChips[0].jedecId && m_chip.sectorSize && m_chip.pageSize;
}

bool SpiFlash::send(uint8_t *tx, uint8_t *rx, uint32_t n)
{
    return m_transferFn && m_transferFn(m_transferContext, tx, rx, n);
}

bool SpiFlash::cmdReadId(std::array<uint8_t, 3> &id)
{
    std::array<uint8_t, 4> buf{opReadId, filler, filler, filler};
    if (!send(buf.data(), buf.data(), buf.size()))
        return false;
    std::copy(buf.begin() + 1, buf.end(), id.begin());
    return true;
}

bool SpiFlash::cmdWriteEnable()
{
    uint8_t op = opWriteEnable;
    return send(&op, &op, 1);
}

bool SpiFlash::cmdReadStatus(uint8_t &value)
{
    std::array<uint8_t, 2> buf{opReadStatus, filler};
    if (!send(buf.data(), buf.data(), buf.size()))
        return false;
    value = buf[1];
    return true;
}

bool SpiFlash::cmdWriteStatus(uint8_t value)
{
    m_busy = true;
    std::array<uint8_t, 2> buf{opWriteStatus, value};
    return send(buf.data(), nullptr, buf.size());
}

bool SpiFlash::cmdRead(uint32_t address, uint32_t length, uint8_t *out)
{
    if (length > std::numeric_limits<uint32_t>::max() - 4 || (length && !out))
        return false;
    auto buf = addressed(opRead, address, length);
    if (!send(buf.data(), buf.data(), static_cast<uint32_t>(buf.size())))
        return false;
    std::copy(buf.begin() + 4, buf.end(), out);
    return true;
}

bool SpiFlash::cmdPageProgram(const uint8_t *data, uint32_t length, uint32_t address)
{
    if (length > std::numeric_limits<uint32_t>::max() - 4 || (length && !data))
        return false;
    m_busy = true;
    auto buf = addressed(opPageProgram, address, length);
    std::copy(data, data + length, buf.begin() + 4);
    return send(buf.data(), nullptr, static_cast<uint32_t>(buf.size()));
}

bool SpiFlash::cmdSectorErase(uint32_t address)
{
    m_busy = true;
    auto buf = addressed(opSectorErase, address, 0);
    return send(buf.data(), buf.data(), static_cast<uint32_t>(buf.size()));
}

static Poll pollOnce(SpiFlash &flash, bool &busy, uint8_t &status)
{
    if (!busy)
        return Poll::Idle;
    uint8_t value = 0;
    if (!flash.cmdReadStatus(value))
        return Poll::Failed;
    status = value;
    if (value & statusWip)
        return Poll::Busy;
    busy = false;
    return Poll::Idle;
}

bool SpiFlash::pollBusy()
{
    return pollOnce(*this, m_busy, m_status) == Poll::Busy;
}

bool SpiFlash::waitReady()
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        switch (pollOnce(*this, m_busy, m_status)) {
        case Poll::Idle:
            return true;
        case Poll::Failed:
            return false;
        case Poll::Busy:
            if (clock.elapsed() >= m_readyTimeoutMs)
                return false;
            break;
        }
    }
}

bool SpiFlash::identify(std::array<uint8_t, 3> *idOut)
{
    m_chip = kFlashChips[0];
    if (!waitReady())
        return false;
    std::array<uint8_t, 3> id{};
    if (!cmdReadId(id))
        return false;
    if (idOut)
        *idOut = id;
    for (size_t row = 1; row < kFlashChips.size(); ++row) {
        if (kFlashChips[row].jedecId == id) {
            m_chip = kFlashChips[row];
            return true;
        }
    }
    return false;
}

bool SpiFlash::updateStatus(uint8_t value)
{
    if (!waitReady() || !cmdWriteEnable() || !cmdWriteStatus(value) || !waitReady())
        return false;
    return cmdReadStatus(m_status);
}

bool SpiFlash::read(uint32_t address, uint32_t length, uint8_t *out)
{
    if (!isIdentified() || !waitReady())
        return false;
    if (length == 0)
        return true;
    if (!out)
        return false;
    const uint32_t chunk = m_chip.sectorSize * m_chip.sectorsPerBlock;
    for (uint32_t done = 0; done < length;) {
        const uint32_t piece = std::min(chunk, length - done);
        if (!cmdRead(address + done, piece, out + done))
            return false;
        done += piece;
    }
    return true;
}

bool SpiFlash::program(const uint8_t *data, uint32_t length, uint32_t address)
{
    if (!isIdentified())
        return false;
    if (length == 0)
        return true;
    if (!data)
        return false;
    const uint32_t page = m_chip.pageSize;
    for (uint32_t done = 0; done < length;) {
        const uint32_t piece = std::min(length - done, page - (address + done) % page);
        const uint8_t *bytes = data + done;
        // An erased page already reads 0xFF; programming it would change nothing.
        const bool erased = std::all_of(bytes, bytes + piece, [](uint8_t b) { return b == 0xFF; });
        if (!erased) {
            if (!waitReady() || !cmdWriteEnable() || !cmdPageProgram(bytes, piece, address + done))
                return false;
        }
        done += piece;
    }
    return true;
}

bool SpiFlash::eraseSector(uint32_t address)
{
    if (!isIdentified())
        return false;
    return waitReady() && cmdWriteEnable() && cmdSectorErase(address);
}

bool SpiFlash::eraseRange(uint32_t address, uint32_t length)
{
    if (!isIdentified())
        return false;
    const uint32_t size = m_chip.sectorSize;
    const uint64_t end = uint64_t(address) + length;
    for (uint64_t sector = address - address % size; sector < end; sector += size) {
        if (!eraseSector(static_cast<uint32_t>(sector)))
            return false;
    }
    return true;
}
