#pragma once
// Answers the window's dialogs from a queue and records every box, so tests
// drive the window without modal windows.
#include <QFileDialog>
#include <QFileInfo>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/Dialogs.h"

namespace qm::test {

class TRecordingDialogs : public TDialogs {
  public:
    // The next file dialog's answer: a path, or nullopt to cancel.
    std::deque<std::optional<QString>> answers;
    // "file:<title>:<file the dialog would return as it stands>", "warning:<caption>:<text>",
    // "result:...", "error:...".
    std::vector<std::string> log;
    // Called while a result box would be open.
    std::function<void()> onResult;

    bool RunFileDialog(QFileDialog& dialog, QString& fileName) override {
        const QStringList preset = dialog.selectedFiles();
        Record("file", dialog.windowTitle(),
               preset.isEmpty() ? QString() : QFileInfo(preset.front()).fileName());
        if (answers.empty() || !answers.front()) {
            if (!answers.empty()) answers.pop_front();
            return false;
        }
        fileName = *answers.front();
        answers.pop_front();
        return true;
    }
    // Several files: the next answer, split at '\n'.
    bool RunFilesDialog(QFileDialog& dialog, QStringList& fileNames) override {
        QString joined;
        if (!RunFileDialog(dialog, joined)) return false;
        fileNames = joined.split(QChar('\n'));
        return true;
    }
    void Warning(const QString& caption, const QString& text) override {
        Record("warning", caption, text);
    }
    void Result(const QString& caption, const QString& text) override {
        Record("result", caption, text);
        if (onResult) onResult();
    }
    void Error(const QString& caption, const QString& text) override {
        Record("error", caption, text);
    }
    // A made book's box is logged as any result; its place and the opened
    // folders as "saved:<where>" and "open:<folder>" in `places`.
    std::vector<std::string> places;
    bool openFolder = false;  // the answer to every such box
    bool Saved(const QString& caption, const QString& text, const QString& where) override {
        places.push_back("saved:" + where.toStdString());
        Result(caption, text);
        return openFolder;
    }
    void OpenFolder(const QString& folder) override {
        places.push_back("open:" + folder.toStdString());
    }
    // The next text asked for: a text, or nullopt to cancel.
    std::deque<std::optional<QString>> texts;
    bool AskText(const QString& caption, const QString& label, QString& text) override {
        Record("ask", caption, label);
        if (texts.empty() || !texts.front()) {
            if (!texts.empty()) texts.pop_front();
            return false;
        }
        text = *texts.front();
        texts.pop_front();
        return true;
    }

  private:
    void Record(const char* kind, const QString& a, const QString& b) {
        log.push_back(std::string(kind) + ":" + a.toStdString() + ":" + b.toStdString());
    }
};

}  // namespace qm::test
