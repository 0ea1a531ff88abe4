#pragma once
// Writing a long code page 936 text as a UTF-8 file piece by piece, so a
// page of a whole book never needs a UTF-8 copy of its own.
#include <string>
#include <string_view>

#include "platform/CodePage.h"
#include "platform/FileStream.h"

namespace qm {

class TUtf8FileWriter {
  public:
    // Creates (or empties) the file: EFCreateError when it cannot be created.
    explicit TUtf8FileWriter(const std::string& path);
    TUtf8FileWriter(const TUtf8FileWriter&) = delete;
    TUtf8FileWriter& operator=(const TUtf8FileWriter&) = delete;

    // Converts the next piece of the text and writes it. A two-byte
    // character may be cut between two pieces. EWriteError when the disk
    // takes fewer bytes than given (a silently truncated page would make a
    // broken book).
    void Append(std::string_view ansi);
    // Ends the text: a lead byte left without its second byte is written as
    // "?". The file is closed when the writer goes.
    void Finish();

  private:
    void WriteOut();

    std::string path_;
    TFileStream file_;
    TAnsiToUtf8Converter converter_;
    std::string utf8_;
};

}  // namespace qm
