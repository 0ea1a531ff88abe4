// Program entry: the application with its title and the one main window.
#include <QApplication>

#include "app/Dialogs.h"
#include "app/QuitOnSignals.h"
#include "app/Unit1.h"

int main(int argc, char** argv) {
    // The program reads no command line, not even Qt's own options: only the
    // program's name is passed on.
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication application(qtArgc, argv);
    QApplication::setApplicationName(QString::fromUtf8(qm::kApplicationTitle));
    qm::TQuitOnSignals quitOnSignals;
    qm::TQtDialogs dialogs;
    qm::TForm1 form(dialogs);
    dialogs.SetParent(&form);
    form.show();
    return application.exec();
}
