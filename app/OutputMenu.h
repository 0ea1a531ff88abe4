#pragma once
// The window's 输出 (output) menu: the kind of book (the classic layout or a
// standard EPUB 3 book) and the EPUB 3 options. The preferences (kind,
// vertical writing, conversion, font, chapters) are remembered between
// runs; what belongs to one book (cover, encoding, language, heading
// patterns) is not, and is cleared when another book is listed.
#include <QObject>
#include <QString>

#include "conversion/run/Epub3Options.h"

class QAction;
class QActionGroup;
class QFileDialog;
class QMenu;
class QMenuBar;

namespace qm {

class TDialogs;

class TOutputMenu : public QObject {
    Q_OBJECT
  public:
    // Adds the menu to the bar and loads the remembered choice. `dialogs`
    // must outlive the menu; its file dialogs pick the cover and the font.
    TOutputMenu(QMenuBar& bar, TDialogs& dialogs, QWidget* dialogParent);

    // The choice as a conversion takes it (title and author left empty).
    TEpub3Options Options() const;
    // Clears the choices that belong to one book.
    void ClearBookChoices();
    // One line for the window: the kind, and for EPUB 3 books the choices
    // made for this book.
    QString Summary() const;

    QAction* ClassicAction;       // the classic layout (the default)
    QAction* Epub3Action;         // a standard EPUB 3 book
    QAction* VerticalAction;      // vertical writing
    QActionGroup* ConvertGroup;   // data: the OpenCC name, "" for none
    QActionGroup* EncodingGroup;  // data: the encoding's name, "" to detect
    QActionGroup* LanguageGroup;  // data: the BCP 47 tag, "" to guess
    QAction* CoverAction;         // choose a cover image
    QAction* NoCoverAction;       // back to the generated cover
    QAction* FontAction;          // choose a font to embed
    QAction* NoFontAction;
    QAction* ChaptersAction;        // one page per chapter found in the headings
    QAction* ChapterPatternAction;  // the user's pattern for chapter headings
    QAction* VolumePatternAction;   // ... and for volumes
    QActionGroup* UnwrapGroup;      // data: "unwrap", "keep" every line, "" to judge
    QAction* CleanAction;           // remove download sites' notices

  signals:
    // The choice changed, by the user or by ClearBookChoices.
    void ChoiceChanged();

  private:
    QActionGroup* AddChoices(QMenu& menu, const char* title,
                             std::initializer_list<std::pair<const char*, const char*>> choices);
    void ChooseFile(QFileDialog& dialog, QString& path);
    void AskPattern(const char* what, QString& pattern);
    void Update();
    void Changed();
    // The remembered choice; the keys are the option table's.
    void Save() const;
    void Load();
    // Sets the menu's entries to the options.
    void Show(const TEpub3Options& options);

    TDialogs& dialogs_;
    QMenu* epub3Options_;
    QFileDialog* coverDialog_;
    QFileDialog* fontDialog_;
    QString coverPath_, fontPath_;
    QString chapterPattern_, volumePattern_;
};

}  // namespace qm
