#pragma once
// One whole conversion from the source to the packed .epub: what the
// Convert button does after the save dialog, shared by the GUI and the CLI.
// A front end makes the request with PrepareConversion (PrepareConversion.h)
// and hands it to RunConversion, which reports every outcome in its result.
#include <cstdint>
#include <string>
#include <vector>

#include "conversion/run/Epub3Options.h"
#include "conversion/run/RunResult.h"
#include "zip/RunControl.h"

namespace qm {

// What the front end knows when the user asks for a conversion.
struct TConversionRequest {
    std::string sourcePath;   // native path (UTF-8 bytes on Linux)
    std::string labelName;    // code page 936: the list's name column (file name without extension)
    int32_t fileSize = 0;     // the size recorded when the file was listed
    int64_t sourceSize = -1;  // the file's real size when prepared; -1 not looked at yet
    std::string title, author;  // UTF-8 as typed; the classic layout writes code page 936
    int32_t parts = 1;          // 1..1024
    std::string archiveName;    // native path of the .epub
    TEpub3Options options;      // the kind of book and what the EPUB 3 kind takes
    int32_t threads = 0;        // threads writing pages and packing; 0: one per core
};

enum class TConversionPhase { Pages, Packing };

// The front end's side of a run: message boxes in the GUI, stderr in the CLI.
// Every call comes from the thread that runs the conversion; a front end
// with a window of its own hands them over to the window's thread.
class TConversionUi {
  public:
    virtual ~TConversionUi() = default;
    // Texts are UTF-8. Modal in the GUI: the run goes on once it is closed.
    virtual void ShowWarning(const std::string& caption, const std::string& text) = 0;
    // What the user may want to know but need not act on (an encoding that
    // was guessed): a warning unless the front end shows it with the result.
    virtual void ShowNotice(const std::string& text) { ShowWarning("Quillmark", text); }
    // Called once the run is over, bookMade telling the outcome. A
    // failure's text gives its reason on a line under the fixed one.
    virtual void ShowResult(const std::string& text, bool bookMade) = 0;
    virtual void Progress(TConversionPhase /*phase*/, int /*percent*/) {}

    // Where the front end asks the run to stop; the run and the archive
    // builder read it at each step.
    TRunControl& Control() { return control_; }

  protected:
    TConversionUi() = default;
    // A front end whose stop requests come from a program-wide control.
    explicit TConversionUi(const TRunControl* source) : control_(source) {}

  private:
    TRunControl control_;
};

// What a run that made its book reports.
struct TBookReport {
    // EPUB 3 books: whether headings were looked for, and how many were found.
    bool chaptersSought = false;
    size_t volumes = 0, chapters = 0;
};

// A run's outcome. A failure of kind NotStarted came before the run had a
// result to show (its set-up failed in the front end): the front end then
// shows the reason as an error. Warnings reach the front end only through
// ShowWarning.
using TConversionResult = TRunResult<TBookReport>;

inline constexpr const char* kConversionSucceededText = "恭喜你，文件转换成功";
inline constexpr const char* kConversionFailedText = "灰常遗憾，未能转换成功";
inline constexpr const char* kRunInterruptedText = "Interrupted";

// The result box's text for a failure: the fixed text, and under it the
// reason (when there is one), as the command line prints it.
std::string FailedBoxText(const std::string& reason);

// Stops the run (raising a failure of kind Canceled, kRunInterruptedText)
// when its control asks for that.
void CheckCancel(TConversionUi& ui);

// The reason given for a named pipe.
std::string NamedPipeText(const std::string& path);

// With request.options.epub3 set, writes a standard EPUB 3 book instead
// (see RunEpub3Conversion). Otherwise renders the classic book's pages and
// package documents in memory and packs them into request.archiveName
// (an existing file there that is not a book is left as it is:
// CheckBookTarget), then shows the result. Neither kind writes anything
// but the book. Never raises: every outcome is in the result.
TConversionResult RunConversion(const TConversionRequest& request, TConversionUi& ui);

}  // namespace qm
