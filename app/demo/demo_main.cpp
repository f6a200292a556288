// The configurator on a simulated bench: two units attached, nothing needed on USB.
#include "app/demo/demounits.h"
#include "app/translation.h"
#include "device/sim/simbench.h"

#include <QtWidgets/QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Erases and programs take about as long as on a real chip.
    simbench::Timing timing;
    timing.eraseMs = 60;
    timing.programMs = 1;
    timing.statusMs = 10;
    simbench::setTiming(timing);
    demo::attachDemoUnits();
    return runMainWindow(app);
}
