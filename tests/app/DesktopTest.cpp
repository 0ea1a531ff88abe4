// What the desktop sees of the program: the entry docks match its windows
// to, its icon, where its settings live, and Qt's own dialogs in the user's
// language.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QLocale>
#include <QSettings>
#include <algorithm>

#include "RecordingDialogs.h"
#include "app/AppSetup.h"
#include "app/MainWindow.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

std::string EntryValue(const std::string& entry, const std::string& key) {
    const size_t at = entry.find("\n" + key + "=");
    if (at == std::string::npos) return std::string();
    const size_t start = at + key.size() + 2;
    return entry.substr(start, entry.find('\n', start) - start);
}

TEST(Desktop, WindowBelongsToItsDesktopEntryAndShowsItsIcon) {
    const std::string entry =
        test::ReadFile(std::string(QM_SOURCE_DIR "/data/") + kDesktopFileName + ".desktop");
    ASSERT_FALSE(entry.empty());
    EXPECT_EQ(QGuiApplication::desktopFileName().toStdString(), kDesktopFileName);
    // X11 docks match the window's class, which Qt takes from the
    // application's name.
    EXPECT_EQ(EntryValue(entry, "StartupWMClass"),
              QCoreApplication::applicationName().toStdString());
    EXPECT_EQ(EntryValue(entry, "Icon"), kDesktopFileName);
    EXPECT_EQ(EntryValue(entry, "MimeType"), "text/plain;");

    test::TRecordingDialogs dialogs;
    MainWindow form(dialogs, QUrl());
    EXPECT_FALSE(form.windowIcon().isNull());
    EXPECT_FALSE(form.windowIcon().pixmap(48, 48).isNull());
    EXPECT_EQ(QSettings().organizationName().toStdString(), kOrganisationName);
}

// Settings kept under Qt's default organisation by older versions: the
// preferences come over once, a book's own choices do not.
TEST(Desktop, PreferencesOfAnOlderVersionAreCarriedOver) {
    QSettings current;
    current.clear();
    QSettings old(QStringLiteral("Unknown Organization"), QCoreApplication::applicationName());
    old.setValue("epub3/vertical", true);
    old.setValue("epub3/cover", "/old/cover.png");
    old.sync();
    CarryOverOldSettings();
    EXPECT_TRUE(current.value("epub3/vertical").toBool());
    EXPECT_FALSE(current.contains("epub3/cover"));
    // Once only: later changes are the user's.
    current.setValue("epub3/vertical", false);
    CarryOverOldSettings();
    EXPECT_FALSE(current.value("epub3/vertical").toBool());
    old.clear();
    current.clear();
}

// The file dialog's and the message boxes' buttons come from Qt's own
// catalogues; without them they stay English under a Chinese locale.
TEST(Desktop, QtsOwnTextsFollowAChineseLocale) {
    ASSERT_TRUE(LoadQtTranslations(QLocale(QLocale::Chinese, QLocale::China)));
    for (const auto& [context, text] :
         {std::pair{"QPlatformTheme", "&Yes"}, std::pair{"QPlatformTheme", "Cancel"},
          std::pair{"QFileDialog", "Look in:"}}) {
        const QString shown = QCoreApplication::translate(context, text);
        EXPECT_NE(shown.toStdString(), text) << context;
        EXPECT_TRUE(std::any_of(shown.begin(), shown.end(), [](QChar c) {
            return c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF;
        })) << shown.toStdString();
    }
}

}  // namespace
}  // namespace qm
