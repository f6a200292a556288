#include "device/model/simflash.h"

#include <algorithm>

namespace simbench {

namespace {

constexpr uint8_t wip = 0x01;
constexpr uint8_t wel = 0x02;
constexpr uint32_t pageSize = 256;
constexpr uint32_t sectorSize = 4096;
constexpr uint32_t blockSize = 65536;

} // namespace

FlashModel::FlashModel(ChipKind kind, const std::array<uint8_t, 3> &unknownId, uint8_t fill, uint8_t status)
    : m_status(static_cast<uint8_t>(status & ~(wip | wel)))
{
    m_id = kind == ChipKind::Unknown ? unknownId : flashChip(kind).jedecId;
    m_memory.assign(flashSize(kind), fill);
}

void FlashModel::setPins(bool cs, bool clk, bool mosi)
{
    if (m_powerLost)
        return;
    if (cs != m_cs) {
        m_cs = cs;
        if (cs)
            end();
        else
            begin();
    } else if (!cs && clk != m_clk) {
        if (clk)
            rising(mosi);
        else
            falling();
    }
    m_clk = clk;
}

void FlashModel::begin()
{
    refreshBusy();
    m_bits = 0;
    m_shift = 0;
    m_command.clear();
    m_outValid = false;
    m_driving = false;
}

void FlashModel::rising(bool mosi)
{
    m_shift = static_cast<uint8_t>((m_shift << 1) | (mosi ? 1 : 0));
    if (++m_bits == 8) {
        m_command.push_back(m_shift);
        m_bits = 0;
        m_shift = 0;
    }
}

void FlashModel::falling()
{
    if (m_bits == 0 && !m_command.empty())
        loadOutput();
    m_driving = m_outValid;
    if (m_outValid)
        m_level = (m_out >> (7 - m_bits)) & 1;
}

// The byte shifted out while the next command byte comes in.
void FlashModel::loadOutput()
{
    const size_t k = m_command.size();
    const bool busy = m_status & wip;
    m_outValid = false;
    switch (m_command[0]) {
    case 0x05:
        m_out = m_status;
        m_outValid = true;
        break;
    case 0x9F:
        if (!busy) {
            m_out = m_id[(k - 1) % 3];
            m_outValid = true;
        }
        break;
    case 0x03:
        if (!busy && k >= 4) {
            m_out = m_memory[(commandAddress() + (k - 4)) % size()];
            m_outValid = true;
        }
        break;
    default:
        break;
    }
}

void FlashModel::end()
{
    m_driving = false;
    m_outValid = false;
    if (m_command.empty())
        return;
    m_transactions.push_back(m_command);
    execute(m_bits == 0);
}

uint32_t FlashModel::commandAddress() const
{
    return (uint32_t(m_command[1]) << 16) | (uint32_t(m_command[2]) << 8) | m_command[3];
}

bool FlashModel::isProtected(uint32_t address) const
{
    const unsigned bp = (m_status >> 2) & 0x07;
    if (bp == 0)
        return false;
    const uint32_t blocks = size() / blockSize;
    const uint32_t guarded = std::min<uint32_t>(blocks, 1u << (bp - 1));
    return address % size() >= size() - guarded * blockSize;
}

bool FlashModel::losePower(Op op, uint32_t &limit)
{
    if (m_lossNth <= 0 || m_lossOp != op || --m_lossNth > 0)
        return false;
    limit = std::min(limit, m_lossBytes);
    return true;
}

// Commands take effect when chip select rises; a write-type command must end
// on a byte boundary, find WEL set, the chip idle and its address unprotected.
void FlashModel::execute(bool aligned)
{
    const uint8_t op = m_command[0];
    const size_t n = m_command.size();
    if (op == 0x05) {
        statusRead();
        return;
    }
    if ((m_status & wip) || !aligned)
        return;
    const bool enabled = m_status & wel;
    switch (op) {
    case 0x06:
        m_status |= wel;
        break;
    case 0x04:
        m_status &= static_cast<uint8_t>(~wel);
        break;
    case 0x01:
        if (enabled && n >= 2) {
            m_status = static_cast<uint8_t>((m_status & (wip | wel)) | (m_command[1] & 0xFC));
            startBusy(m_timing.statusReads, m_timing.statusMs);
        }
        break;
    case 0x02: {
        if (!enabled || n < 5 || isProtected(commandAddress()))
            break;
        const uint32_t address = commandAddress() % size();
        const uint32_t base = address - address % pageSize;
        const size_t count = n - 4;
        // Bytes beyond a page wrap inside it; only the last page's worth sticks.
        const size_t first = count > pageSize ? count - pageSize : 0;
        uint32_t limit = static_cast<uint32_t>(count - first);
        const bool lost = losePower(Op::Program, limit);
        for (size_t i = first; i < first + limit; ++i)
            m_memory[base + (address % pageSize + i) % pageSize] &= m_command[4 + i];
        ++m_changes;
        if (lost) {
            m_powerLost = true;
            return;
        }
        startBusy(m_timing.programReads, m_timing.programMs);
        break;
    }
    case 0xD7:
    case 0x20: {
        if (!enabled || n != 4 || isProtected(commandAddress()))
            break;
        const uint32_t base = commandAddress() % size() / sectorSize * sectorSize;
        uint32_t limit = sectorSize;
        const bool lost = losePower(Op::Erase, limit);
        std::fill_n(m_memory.begin() + base, limit, uint8_t(0xFF));
        ++m_changes;
        if (lost) {
            m_powerLost = true;
            return;
        }
        startBusy(m_timing.eraseReads, m_timing.eraseMs);
        break;
    }
    default:
        break;
    }
}

void FlashModel::statusRead()
{
    if (m_busyReads > 0)
        --m_busyReads;
    refreshBusy();
}

void FlashModel::startBusy(int reads, int ms)
{
    m_status |= wip;
    m_busyReads = reads;
    m_busyUntil = m_now() + std::chrono::milliseconds(ms);
    m_busyMs += static_cast<uint64_t>(std::max(ms, 0));
    refreshBusy();
}

void FlashModel::refreshBusy()
{
    if (!(m_status & wip) || m_stuck || m_busyReads > 0 || m_now() < m_busyUntil)
        return;
    m_status &= static_cast<uint8_t>(~(wip | wel));
}

void FlashModel::setStuckBusy(bool stuck)
{
    m_stuck = stuck;
    if (stuck)
        m_status |= wip;
    else
        refreshBusy();
}

void FlashModel::armPowerLoss(Op op, int nth, uint32_t bytesDone)
{
    m_lossOp = op;
    m_lossNth = nth;
    m_lossBytes = bytesDone;
}

void FlashModel::powerUp()
{
    m_powerLost = false;
    m_stuck = false;
    m_busyReads = 0;
    m_status &= static_cast<uint8_t>(~(wip | wel));
    m_cs = true;
    m_clk = false;
    m_bits = 0;
    m_command.clear();
    m_outValid = false;
    m_driving = false;
}

} // namespace simbench
