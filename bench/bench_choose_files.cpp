// How long the main window takes to list many archives at once (a drop of a
// whole folder) and to take them off again one by one, as extractions end.
// Each added or removed row lays the whole list out again.
#include "extraction/view/ControllerHost.h"
#include "extraction/RARItem.h"
#include "extraction/view/RARViewController.h"
#include "support/StringTable.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QTextStream>

namespace {

// A main window and nothing else of the shell.
class WindowOnly : public ControllerHost {
public:
    WindowOnly() { m_window.resize(460, 300); }
    QWidget *window() const override { return const_cast<QMainWindow *>(&m_window); }
    void setWindowTitle() override {}
    void setIsCompleted(bool) override {}
    void menu_openAction() override {}
    void menu_preferenceAction() override {}
    void goCommentAction() override {}
    void openPhoneAppAction() override {}
    void setContent(QWidget *view) { m_window.setCentralWidget(view); }

private:
    QMainWindow m_window;
};

struct Figures {
    double addMs = 0;
    double removeMs = 0;
};

Figures measure(int count)
{
    WindowOnly host;
    RARViewController controller(&host);
    host.setContent(controller.view());
    host.window()->show();
    QCoreApplication::processEvents();

    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < count; ++i)
        controller.chooseFile(u"/nonexistent/archive-%1.zip"_qs.arg(i));
    Figures figures;
    figures.addMs = double(clock.nsecsElapsed()) / 1e6;

    clock.restart();
    while (!controller.rarItems().isEmpty())
        controller.extractFinished(controller.rarItems().first());
    figures.removeMs = double(clock.nsecsElapsed()) / 1e6;
    return figures;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    StringTable::install(QLocale(QLocale::English));
    QTextStream out(stdout);
    out << "rows\tadd all (ms)\tper row (ms)\tremove all (ms)\tper row (ms)\n";
    for (int count : {10, 100, 300, 1000}) {
        const Figures f = measure(count);
        out << count << '\t' << QString::number(f.addMs, 'f', 1) << '\t'
            << QString::number(f.addMs / count, 'f', 3) << '\t' << QString::number(f.removeMs, 'f', 1)
            << '\t' << QString::number(f.removeMs / count, 'f', 3) << '\n';
        out.flush();
    }
    return 0;
}
