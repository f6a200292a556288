#ifndef OSTREL_PANELS_GBOUTPUT_H
#define OSTREL_PANELS_GBOUTPUT_H

#include <QGroupBox>

#include <cstdint>
#include <memory>

namespace Ui {
class gbOutput;
}

// Settings of one coaxial output port: CSS mode and the receivers' LO codes.
class gbOutput : public QGroupBox
{
    Q_OBJECT

public:
    gbOutput(std::uint8_t index, std::uint8_t mode, std::uint8_t stbLoLow,
             std::uint8_t stbLoHigh, QWidget *parent = nullptr);
    ~gbOutput() override;

    std::uint8_t mode() const;
    void setMode(std::uint8_t code);

    std::uint8_t stbLoLow() const;
    void setStbLoLow(std::uint8_t code);

    std::uint8_t stbLoHigh() const;
    void setStbLoHigh(std::uint8_t code);

    const std::uint8_t index; // 0-based output port

signals:
    void Changed(unsigned char index);

private slots:
    void ChangedInternal();

private:
    std::unique_ptr<Ui::gbOutput> ui;
    std::uint32_t emitting = 0;
};

#endif
