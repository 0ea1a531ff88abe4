#pragma once
// The cover of a book whose user gave none: title and author set on a
// quiet background as a JPEG image, so readers and library views that show
// only a cover image show the book's own. Set with Pango (shaping, font
// choice through fontconfig and line breaking by Unicode's rules) and drawn
// with Cairo; the same title, author and language on the same system always
// give the same bytes. Only the first line of a title or name is set, at
// most 200 characters (TitleLine), so the layout takes time in proportion
// to what is shown. A title or name that no installed font can draw in
// full is left off: hex boxes would stand for its characters.
#include <memory>
#include <string>
#include <vector>

#include "conversion/layout/BookResources.h"

namespace qm {

inline constexpr int kCoverWidth = 1600, kCoverHeight = 2400;

// Where the cover's words go: each block's lines as set, and its size in
// pixels. A line never starts inside a word or with closing punctuation.
struct TCoverLayout {
    std::vector<std::string> titleLines, authorLines;
    double titleSize = 0, authorSize = 0;
    bool titleLeftOut = false, authorLeftOut = false;
};

// The face for a language tag: Noto Serif CJK in the Japanese, traditional
// or simplified Chinese cut, then whatever serif face fontconfig offers.
std::string CoverFontFamilies(const std::string& language);

// The title is set as large as fits at most five lines and the longest word
// one line, in lines of even length; the author smaller, in at most two.
// Raises Exception as DrawCover does.
TCoverLayout LayoutCover(const std::string& title, const std::string& author,
                         const std::string& language);

// The cover as a JPEG of kCoverWidth x kCoverHeight pixels, and what was
// left off it. Raises Exception when drawing fails (out of memory) or
// before it starts when the threads the font machinery starts, or the
// memory drawing takes, could not be had: GLib ends the process when a
// thread fails to start.
struct TDrawnCover {
    TBookResource image;
    bool titleLeftOut = false, authorLeftOut = false;
};
TDrawnCover DrawCover(const std::string& title, const std::string& author,
                      const std::string& language);
// The image alone.
TBookResource DrawCoverImage(const std::string& title, const std::string& author,
                             const std::string& language);

// A cover made ready to be drawn later, on another thread, by a run that
// does other work meanwhile: the room checked, and the faces looked up for
// the title and author, here, so that the threads Pango starts for that do
// not compete with the run for memory. Raises Exception as DrawCover does.
class TCoverPlan {
  public:
    TCoverPlan(const std::string& title, const std::string& author, const std::string& language);
    TCoverPlan(TCoverPlan&&) noexcept;
    ~TCoverPlan();
    TDrawnCover Draw() const;

  private:
    friend TCoverLayout LayoutCover(const std::string&, const std::string&, const std::string&);
    struct TSetting;
    std::unique_ptr<TSetting> setting_;
};

}  // namespace qm
