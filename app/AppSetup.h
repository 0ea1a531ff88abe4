#pragma once
// What every start of the window sets on the application before a window
// exists: its names (the settings' place, the desktop entry it belongs to),
// its icon, and Qt's own translations for the user's locale.
#include <QLocale>
#include <QString>

class QApplication;

namespace qm {

// The desktop entry's name without ".desktop"; docks match windows to it.
inline constexpr const char* kDesktopFileName = "org.quillmark.Quillmark";
// The settings live under this organisation.
inline constexpr const char* kOrganisationName = "Quillmark";

// Names, icon, translations, and the settings of older versions carried over.
void SetUpApplication(QApplication& application);

// Installs Qt's translations (qtbase and the rest) for `locale` on the
// running application; true when one was found. The file dialog's and the
// message boxes' buttons then speak the user's language.
bool LoadQtTranslations(const QLocale& locale);

// Copies the preferences an older version kept under Qt's default
// organisation ("Unknown Organization") once, when the current place holds
// none yet.
void CarryOverOldSettings();

}  // namespace qm
