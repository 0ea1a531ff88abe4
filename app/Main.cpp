// Program entry: the application with its title and the one main window.
//   quillmark [FILE]
// FILE (as a file manager's "Open with" passes it) is listed as if dropped.
//   quillmark --help | -h | --version | -V
// answer on the terminal, without a window (or a display).
#include <QApplication>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <cstring>

#include "app/AppSetup.h"
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "app/QuitOnSignals.h"

int main(int argc, char** argv) {
    if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        std::fputs(
            "Usage: quillmark [FILE]\n"
            "Opens the window that converts text books (.txt) into EPUB books, with\n"
            "FILE listed. quillmark-cli converts from the command line.\n",
            stdout);
        return 0;
    }
    if (argc == 2 && (!std::strcmp(argv[1], "--version") || !std::strcmp(argv[1], "-V"))) {
        std::puts("quillmark 1.0");
        return 0;
    }
    // Qt's own options are not read: every argument after the program's
    // name is a file, whatever it starts with.
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication application(qtArgc, argv);
    qm::SetUpApplication(application);
    QStringList files;
    for (int i = 1; i < argc; ++i) {
        if (QByteArray(argv[i]) == "--") continue;
        files << QFileInfo(QFile::decodeName(argv[i])).absoluteFilePath();
    }
    qm::TQuitOnSignals quitOnSignals;
    qm::TQtDialogs dialogs;
    qm::MainWindow form(dialogs);
    dialogs.SetParent(&form);
    form.show();
    // Once the window is up, so a refusal's message box has it as its owner.
    QTimer::singleShot(0, &form, [&form, files] { form.OpenFiles(files); });
    return application.exec();
}
