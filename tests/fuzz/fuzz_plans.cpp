// Forged plans: any image of 892 bytes, made checksum-valid here (Magic,
// Version, seal), loaded by the real window offscreen as its Load command does,
// shown in both modes, checked and saved. Whatever the fields hold, the saved
// file must be the loaded one, and a refused Load after it must leave nothing
// to show or save.
#include "fuzzsupport.h"

#include "app/mainwindow.h"
#include "panels/gbtablecss.h"

#include <QtWidgets/QAction>
#include <QtWidgets/QApplication>

using namespace fuzzsupport;

namespace {

MainWindow &window()
{
    static MainWindow *w = [] {
        quiet();
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static char name[] = "fuzz_plans";
#ifdef Q_OS_WIN
        // Wine hands no QT_QPA_PLATFORM to Windows programs.
        static char platform[] = "-platform", offscreen[] = "offscreen";
        static char *argv[] = {name, platform, offscreen, nullptr};
#else
        static char *argv[] = {name, nullptr};
#endif
        static int argc = int(std::size(argv)) - 1;
        new QApplication(argc, argv);  // both live for the whole run
        return new MainWindow;
    }();
    return *w;
}

void toggleAdvancedMode(MainWindow &w)
{
    w.findChild<QAction *>(QStringLiteral("actionAdvancedMode"))->trigger();
}

bool panelsShown(MainWindow &w) { return w.findChild<gbTableCSS *>() != nullptr; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    MainWindow &w = window();
    ConfigStore &s = w.configStore();
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));

    // The model named by the first 32 bytes, else the first one; the rest is the image.
    const FieldMap *map = s.maps().front().get();
    for (const auto &candidate : s.maps())
        if (FieldMap::sameName(candidate->modelName, input.constData(), std::size_t(qMin(input.size(), 32))))
            map = candidate.get();
    const QByteArray name(map->modelName.data(), int(map->modelName.size()));
    const QByteArray image = forged(s, *map, input.mid(32));

    if (input.size() > 32 && (input[32] & 0x80))
        toggleAdvancedMode(w);  // half the inputs start in Advanced Mode
    if (!w.loadConfiguration(writeScratch("plan.scd", name + image)))
        fail("a checksum-valid file was refused");
    auto *table = w.findChild<gbTableCSS *>();
    if (!table)
        fail("no table after a Load");
    table->checkOutputFrequencies();
    table->checkBandwidths();
    table->checkUserBands();
    toggleAdvancedMode(w);
    toggleAdvancedMode(w);
    const QString out = scratch("saved.scd");
    if (!w.saveConfiguration(out))
        fail("the loaded plan could not be saved");
    if (readAll(out) != name + image)
        fail("Load then Save changed the file");

    // The same image with a broken sum, under the other model's name: refused, and nothing comes back.
    const FieldMap *other = s.maps().back().get() == map ? s.maps().front().get() : s.maps().back().get();
    QByteArray broken = image;
    broken[2] = char(broken[2] ^ 1);
    if (w.loadConfiguration(writeScratch("broken.scd", QByteArray(other->modelName.data(), 32) + broken)))
        fail("a file with a broken sum was accepted");
    toggleAdvancedMode(w);
    if (panelsShown(w) || w.saveConfiguration(out))
        fail("panels came back after a refused Load");
    if (w.findChild<QAction *>(QStringLiteral("actionAdvancedMode"))->isChecked())
        toggleAdvancedMode(w);
    return 0;
}
