#pragma once

// The chip model: an SPI NOR flash decoded edge by edge
// (mode 0, MSB first, chip select active low).

#include "device/model/unitmodel.h"

#include <chrono>
#include <functional>
#include <vector>

namespace simbench {

class FlashModel
{
public:
    FlashModel(ChipKind kind, const std::array<uint8_t, 3> &unknownId, uint8_t fill, uint8_t status);

    // Levels on the chip's inputs; edges are taken from the previous levels.
    void setPins(bool cs, bool clk, bool mosi);
    // True when the chip drives its data output; level() is then valid.
    bool driving() const { return m_driving; }
    bool level() const { return m_level; }

    uint32_t size() const { return static_cast<uint32_t>(m_memory.size()); }
    std::vector<uint8_t> &memory() { return m_memory; }
    // Counts the erases and programs that touched memory, so owners can tell
    // when to save it.
    uint64_t changes() const { return m_changes; }
    uint8_t status() const { return m_status; }
    void setStatus(uint8_t value) { m_status = value; }

    void setTiming(const Timing &timing) { m_timing = timing; }
    // Busy times run on this clock: real time unless a timing model keeps its own.
    void setClock(std::function<std::chrono::steady_clock::time_point()> now) { m_now = std::move(now); }
    // Milliseconds of busy time the write-type commands have started so far.
    uint64_t busyMs() const { return m_busyMs; }
    void setStuckBusy(bool stuck);
    void armPowerLoss(Op op, int nth, uint32_t bytesDone);
    void disarm() { m_lossNth = 0; }
    bool powerLost() const { return m_powerLost; }
    void powerUp();

    const std::vector<std::vector<uint8_t>> &transactions() const { return m_transactions; }
    void clearTransactions() { m_transactions.clear(); }

private:
    using Clock = std::chrono::steady_clock;

    void begin();
    void end();
    void rising(bool mosi);
    void falling();
    void loadOutput();
    void execute(bool aligned);
    void statusRead();
    void startBusy(int reads, int ms);
    void refreshBusy();
    bool isProtected(uint32_t address) const;
    uint32_t commandAddress() const;
    bool losePower(Op op, uint32_t &limit);

    std::array<uint8_t, 3> m_id;
    std::vector<uint8_t> m_memory;
    uint64_t m_changes = 0;
    uint8_t m_status;
    Timing m_timing;

    bool m_cs = true, m_clk = false;
    int m_bits = 0;
    uint8_t m_shift = 0, m_out = 0;
    bool m_outValid = false, m_driving = false, m_level = true;
    std::vector<uint8_t> m_command;
    std::vector<std::vector<uint8_t>> m_transactions;

    std::function<Clock::time_point()> m_now = Clock::now;
    uint64_t m_busyMs = 0;
    int m_busyReads = 0;
    Clock::time_point m_busyUntil;
    bool m_stuck = false;

    Op m_lossOp = Op::Erase;
    int m_lossNth = 0;
    uint32_t m_lossBytes = 0;
    bool m_powerLost = false;
};

// Queues devicesChanged() on every live DeviceWatcher.
void notifyDeviceChange();

} // namespace simbench
