#ifndef OSTREL_PANELS_GBINPUT_H
#define OSTREL_PANELS_GBINPUT_H

#include <QGroupBox>

#include <cstdint>
#include <memory>

namespace Ui {
class gbInput;
}

// Settings of one satellite input port: mode, DiSEqC position and LNB LO.
class gbInput : public QGroupBox
{
    Q_OBJECT

public:
    gbInput(std::uint8_t index, std::uint8_t mode, std::uint8_t diseqcBank,
            std::uint8_t lnbLo, QWidget *parent = nullptr);
    ~gbInput() override;

    std::uint8_t mode() const;
    void setMode(std::uint8_t code);

    // Band | polarization | satellite bits; bits 5 to 7 have no choice and are
    // kept as they came.
    std::uint8_t diseqcBank() const;
    void setDiseqcBank(std::uint8_t word);

    std::uint8_t diseqcLnbLo() const;
    void setDiseqcLnbLo(std::uint8_t code);

    const std::uint8_t index; // 0-based input port

signals:
    void Changed(unsigned char index);

private slots:
    void ChangedInternal();

private:
    std::unique_ptr<Ui::gbInput> ui;
    std::uint32_t emitting = 0;
    std::uint8_t bankOtherBits = 0;
};

#endif
