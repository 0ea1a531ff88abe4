#include "app/AppSetup.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QSettings>
#include <QTranslator>

#include "app/MainWindow.h"
#include "conversion/run/OptionTable.h"

// The resources of a static library are registered by hand; at global scope,
// as the macro requires.
static void InitIconResource() {
    Q_INIT_RESOURCE(icons);
}

namespace qm {

void SetUpApplication(QApplication& application) {
    QApplication::setApplicationName(QString::fromUtf8(kApplicationTitle));
    QApplication::setOrganizationName(QString::fromUtf8(kOrganisationName));
    QGuiApplication::setDesktopFileName(QString::fromUtf8(kDesktopFileName));
    InitIconResource();
    // The installed theme's icon; the copy built in when the program runs
    // from its build tree.
    application.setWindowIcon(QIcon::fromTheme(QString::fromUtf8(kDesktopFileName),
                                               QIcon(QStringLiteral(":/icons/quillmark.png"))));
    LoadQtTranslations(QLocale());
    CarryOverOldSettings();
}

bool LoadQtTranslations(const QLocale& locale) {
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    // "qt" is a catalogue of the modules' files; qtbase alone is used when
    // the catalogue is missing.
    for (const char* name : {"qt", "qtbase"}) {
        auto* translator = new QTranslator(qApp);
        if (translator->load(locale, QString::fromUtf8(name), QStringLiteral("_"), folder) &&
            QCoreApplication::installTranslator(translator)) {
            return true;
        }
        delete translator;
    }
    return false;
}

void CarryOverOldSettings() {
    QSettings current;
    if (!current.allKeys().isEmpty()) return;
    const QSettings old(QStringLiteral("Unknown Organization"),
                        QCoreApplication::applicationName());
    // Only the preferences: what an older version remembered of one book
    // (cover, encoding, patterns) is left behind.
    for (const TOptionRow& row : OptionTable()) {
        if (!row.settingsKey) continue;
        const QString name = QString::fromUtf8(row.settingsKey);
        if (old.contains(name)) current.setValue(name, old.value(name));
    }
}

}  // namespace qm
