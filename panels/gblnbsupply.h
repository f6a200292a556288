#ifndef OSTREL_PANELS_GBLNBSUPPLY_H
#define OSTREL_PANELS_GBLNBSUPPLY_H

#include <QGroupBox>

#include <cstdint>
#include <memory>

class QComboBox;
class QHBoxLayout;
class QLabel;
class QSpacerItem;

// How the unit powers the LNBs; offers only the modes the unit model permits.
class gbLNBSupply : public QGroupBox
{
    Q_OBJECT

public:
    gbLNBSupply(std::uint8_t mode, std::uint8_t minimum, std::uint8_t maximum,
                QWidget *parent = nullptr);
    ~gbLNBSupply() override;

    std::uint8_t mode() const;
    void setMode(std::uint8_t code);

private:
    struct Widgets {
        QHBoxLayout *horizontalLayout = nullptr;
        QLabel *label = nullptr;
        QComboBox *cbMode = nullptr;
        QSpacerItem *horizontalSpacer = nullptr;
    };
    std::unique_ptr<Widgets> ui;
};

#endif
