#include "app/OutputMenu.h"

#include <QActionGroup>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>

#include "app/Dialogs.h"
#include "app/ReasonText.h"
#include "conversion/run/OptionTable.h"

namespace qm {
namespace {

QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QString Checked(const QActionGroup& group) {
    const QAction* action = group.checkedAction();
    return action ? action->data().toString() : QString();
}

void Check(QActionGroup& group, const QString& value) {
    for (QAction* action : group.actions()) {
        if (action->data().toString() == value) action->setChecked(true);
    }
}

std::string Native(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

}  // namespace

TOutputMenu::TOutputMenu(QMenuBar& bar, TDialogs& dialogs, QWidget* dialogParent)
    : QObject(&bar), dialogs_(dialogs) {
    QMenu* menu = bar.addMenu(Text("输出(&O)"));
    auto* kind = new QActionGroup(this);
    ClassicAction = menu->addAction(Text("经典版式"));
    Epub3Action = menu->addAction(Text("标准 EPUB 3"));
    for (QAction* action : {ClassicAction, Epub3Action}) {
        action->setCheckable(true);
        kind->addAction(action);
    }
    ClassicAction->setChecked(true);
    menu->addSeparator();
    epub3Options_ = menu->addMenu(Text("EPUB 3 选项"));
    VerticalAction = epub3Options_->addAction(Text("竖排（从右到左翻页）"));
    VerticalAction->setCheckable(true);
    ConvertGroup = AddChoices(*epub3Options_, "简繁转换",
                              {{"不转换", ""},
                               {"简体 → 繁体", "s2t"},
                               {"繁体 → 简体", "t2s"},
                               {"简体 → 台湾正体", "s2tw"},
                               {"台湾正体 → 简体", "tw2s"},
                               {"简体 → 香港繁体", "s2hk"},
                               {"香港繁体 → 简体", "hk2s"}});
    EncodingGroup = AddChoices(*epub3Options_, "文本编码",
                               {{"自动检测", ""},
                                {"GB18030 / GBK", "GB18030"},
                                {"Big5", "Big5-HKSCS"},
                                {"UTF-8", "UTF-8"},
                                {"UTF-16LE", "UTF-16LE"},
                                {"UTF-16BE", "UTF-16BE"}});
    LanguageGroup = AddChoices(*epub3Options_, "语言",
                               {{"按文字判断", ""},
                                {"简体中文 (zh-Hans)", "zh-Hans"},
                                {"繁体中文 (zh-Hant)", "zh-Hant"},
                                {"日语 (ja)", "ja"},
                                {"英语 (en)", "en"}});
    epub3Options_->addSeparator();
    ChaptersAction = epub3Options_->addAction(Text("按章节分页（识别章节标题）"));
    ChaptersAction->setCheckable(true);
    ChaptersAction->setChecked(true);
    ChapterPatternAction = epub3Options_->addAction(Text("章标题规则…"));
    VolumePatternAction = epub3Options_->addAction(Text("卷标题规则…"));
    connect(ChapterPatternAction, &QAction::triggered, this,
            [this] { AskPattern("章", chapterPattern_); });
    connect(VolumePatternAction, &QAction::triggered, this,
            [this] { AskPattern("卷", volumePattern_); });
    UnwrapGroup = AddChoices(*epub3Options_, "断行",
                             {{"按行长判断是否合并", ""},
                              {"合并成段（文本按固定宽度断行）", "unwrap"},
                              {"每行一段", "keep"}});
    CleanAction = epub3Options_->addAction(Text("去掉网站广告和古登堡版权声明"));
    CleanAction->setCheckable(true);
    epub3Options_->addSeparator();
    CoverAction = epub3Options_->addAction(Text("封面图片…"));
    NoCoverAction = epub3Options_->addAction(Text("使用生成的封面"));
    FontAction = epub3Options_->addAction(Text("嵌入字体…"));
    NoFontAction = epub3Options_->addAction(Text("不嵌入字体"));

    coverDialog_ = new QFileDialog(dialogParent, Text("选择封面图片"));
    coverDialog_->setFileMode(QFileDialog::ExistingFile);
    coverDialog_->setNameFilter(Text("JPEG / PNG (*.jpg *.jpeg *.png)"));
    fontDialog_ = new QFileDialog(dialogParent, Text("选择字体"));
    fontDialog_->setFileMode(QFileDialog::ExistingFile);
    fontDialog_->setNameFilter(Text("TrueType / OpenType / WOFF (*.ttf *.otf *.woff *.woff2)"));

    connect(CoverAction, &QAction::triggered, this,
            [this] { ChooseFile(*coverDialog_, coverPath_); });
    connect(FontAction, &QAction::triggered, this, [this] { ChooseFile(*fontDialog_, fontPath_); });
    connect(NoCoverAction, &QAction::triggered, this, [this] {
        coverPath_.clear();
        Changed();
    });
    connect(NoFontAction, &QAction::triggered, this, [this] {
        fontPath_.clear();
        Changed();
    });
    for (QAction* action : menu->actions())
        connect(action, &QAction::triggered, this, [this] { Changed(); });
    for (QAction* action : epub3Options_->actions()) {
        connect(action, &QAction::triggered, this, [this] { Changed(); });
    }
    for (QActionGroup* group : {ConvertGroup, EncodingGroup, LanguageGroup, UnwrapGroup}) {
        connect(group, &QActionGroup::triggered, this, [this] { Changed(); });
    }
    Load();
    Update();
}

QActionGroup* TOutputMenu::AddChoices(
    QMenu& menu, const char* title,
    std::initializer_list<std::pair<const char*, const char*>> choices) {
    QMenu* sub = menu.addMenu(Text(title));
    auto* group = new QActionGroup(this);
    for (const auto& [caption, value] : choices) {
        QAction* action = sub->addAction(Text(caption));
        action->setCheckable(true);
        action->setData(Text(value));
        group->addAction(action);
    }
    group->actions().front()->setChecked(true);
    return group;
}

void TOutputMenu::ChooseFile(QFileDialog& dialog, QString& path) {
    QString chosen;
    if (dialogs_.RunFileDialog(dialog, chosen) && !chosen.isEmpty()) path = chosen;
    Changed();
}

// A pattern the user types: an ICU regular expression, empty for the
// built-in rules. One that does not compile is refused and the old one kept.
void TOutputMenu::AskPattern(const char* what, QString& pattern) {
    QString typed = pattern;
    const QString label =
        Text("%1标题的正则表达式（ICU），在去掉首尾空格的行中查找；\n留空则用内置规则：")
            .arg(Text(what));
    if (dialogs_.AskText(Text("%1标题规则").arg(Text(what)), label, typed)) {
        TEpub3Options check;
        (&pattern == &chapterPattern_ ? check.chapterPattern : check.volumePattern) =
            typed.toStdString();
        if (const std::string problem = CheckEpub3Options(check); !problem.empty()) {
            dialogs_.Error(Text("Quillmark"), ReasonText(problem));
        } else {
            pattern = typed;
        }
    }
    Changed();
}

TEpub3Options TOutputMenu::Options() const {
    TEpub3Options options;
    options.epub3 = Epub3Action->isChecked();
    options.vertical = VerticalAction->isChecked();
    options.convert = Checked(*ConvertGroup).toStdString();
    options.encoding = Checked(*EncodingGroup).toStdString();
    options.language = Checked(*LanguageGroup).toStdString();
    options.coverPath = Native(coverPath_);
    options.fontPath = Native(fontPath_);
    options.chapters = ChaptersAction->isChecked();
    options.chapterPattern = chapterPattern_.toStdString();
    options.volumePattern = volumePattern_.toStdString();
    options.unwrap = Checked(*UnwrapGroup) == "unwrap";
    options.noUnwrap = Checked(*UnwrapGroup) == "keep";
    options.clean = CleanAction->isChecked();
    return options;
}

// The options apply to EPUB 3 books only; the chosen files show by name.
// Only a change by the user is saved.
void TOutputMenu::Update() {
    epub3Options_->setEnabled(Epub3Action->isChecked());
    CoverAction->setText(coverPath_.isEmpty()
                             ? Text("封面图片…")
                             : Text("封面图片：") + QFileInfo(coverPath_).fileName());
    FontAction->setText(fontPath_.isEmpty() ? Text("嵌入字体…")
                                            : Text("嵌入字体：") + QFileInfo(fontPath_).fileName());
    NoCoverAction->setCheckable(true);
    NoCoverAction->setChecked(coverPath_.isEmpty());
    NoFontAction->setCheckable(true);
    NoFontAction->setChecked(fontPath_.isEmpty());
    ChapterPatternAction->setEnabled(ChaptersAction->isChecked());
    VolumePatternAction->setEnabled(ChaptersAction->isChecked());
    ChapterPatternAction->setText(
        chapterPattern_.isEmpty() ? Text("章标题规则…") : Text("章标题规则：") + chapterPattern_);
    VolumePatternAction->setText(volumePattern_.isEmpty() ? Text("卷标题规则…")
                                                          : Text("卷标题规则：") + volumePattern_);
}

void TOutputMenu::Changed() {
    Update();
    Save();
    emit ChoiceChanged();
}

void TOutputMenu::ClearBookChoices() {
    coverPath_.clear();
    chapterPattern_.clear();
    volumePattern_.clear();
    EncodingGroup->actions().front()->setChecked(true);
    LanguageGroup->actions().front()->setChecked(true);
    Changed();
}

QString TOutputMenu::Summary() const {
    if (!Epub3Action->isChecked()) return Text("输出：经典版式");
    QStringList parts{Text("输出：标准 EPUB 3")};
    if (VerticalAction->isChecked()) parts << Text("竖排");
    const QString unwrap = Checked(*UnwrapGroup);
    if (!unwrap.isEmpty()) parts << Text(unwrap == "unwrap" ? "合并断行" : "每行一段");
    if (CleanAction->isChecked()) parts << Text("去广告");
    // The choices made for this book, by their captions in the menu.
    for (const QActionGroup* group : {EncodingGroup, LanguageGroup}) {
        const QAction* checked = group->checkedAction();
        if (checked && !checked->data().toString().isEmpty()) parts << checked->text();
    }
    if (!coverPath_.isEmpty()) parts << Text("封面 ") + QFileInfo(coverPath_).fileName();
    if (!chapterPattern_.isEmpty()) parts << Text("章规则 ") + chapterPattern_;
    if (!volumePattern_.isEmpty()) parts << Text("卷规则 ") + volumePattern_;
    return parts.join(Text(" · "));
}

// Every option the table marks as remembered, under its key: flags as
// Booleans, the rest as text.
void TOutputMenu::Save() const {
    TOptionValues values;
    values.epub3 = Options();
    QSettings settings;
    for (const TOptionRow& row : OptionTable()) {
        if (!row.settingsKey) continue;
        const QString key = QString::fromUtf8(row.settingsKey);
        if (row.flag) {
            settings.setValue(key, OptionText(row, values) == "1");
        } else {
            settings.setValue(key, QString::fromStdString(OptionText(row, values)));
        }
    }
}

void TOutputMenu::Load() {
    TOptionValues values;
    QSettings settings;
    // Older versions remembered these for every later book.
    for (const char* stale : {"epub3/cover", "epub3/encoding", "epub3/language",
                              "epub3/chapterPattern", "epub3/volumePattern"}) {
        settings.remove(QString::fromUtf8(stale));
    }
    for (const TOptionRow& row : OptionTable()) {
        if (!row.settingsKey) continue;
        const QString key = QString::fromUtf8(row.settingsKey);
        if (row.flag) {
            row.flag(values) = settings.value(key, row.flag(values)).toBool();
        } else if (row.text) {
            row.text(values) = settings.value(key).toString().toStdString();
        }
    }
    Show(values.epub3);
}

void TOutputMenu::Show(const TEpub3Options& options) {
    (options.epub3 ? Epub3Action : ClassicAction)->setChecked(true);
    VerticalAction->setChecked(options.vertical);
    Check(*ConvertGroup, QString::fromStdString(options.convert));
    Check(*EncodingGroup, QString::fromStdString(options.encoding));
    Check(*LanguageGroup, QString::fromStdString(options.language));
    coverPath_ = QFile::decodeName(QByteArray::fromStdString(options.coverPath));
    fontPath_ = QFile::decodeName(QByteArray::fromStdString(options.fontPath));
    ChaptersAction->setChecked(options.chapters);
    chapterPattern_ = QString::fromStdString(options.chapterPattern);
    volumePattern_ = QString::fromStdString(options.volumePattern);
    Check(*UnwrapGroup, Text(options.unwrap ? "unwrap" : options.noUnwrap ? "keep" : ""));
    CleanAction->setChecked(options.clean);
}

}  // namespace qm
