#pragma once
// The archive layer's own exceptions, raised inside it only: at its edge
// they become a TZipError (see ZipResult.h). The message texts are part of
// the component's interface.
#include <utility>

#include "platform/Exceptions.h"
#include "zip/ZipResult.h"

namespace qm {

class EZipException : public Exception {
  public:
    using Exception::Exception;
};
class EUserCanceled : public EZipException {
  public:
    using EZipException::EZipException;
};
class EIncompleteZip : public EZipException {
  public:
    using EZipException::EZipException;
};
class ENotAZipFile : public EZipException {
  public:
    using EZipException::EZipException;
};
class EBadZipFile : public EZipException {
  public:
    using EZipException::EZipException;
};
class ENotEnoughRoom : public EZipException {
  public:
    using EZipException::EZipException;
};
// zlib reported a failure; not one of the builder's EZipException family.
class EZCompressionError : public Exception {
  public:
    using Exception::Exception;
};

// A failure a call of the layer returned, raised again inside the layer
// and given back unchanged at its edge.
class EZipFailure : public Exception {
  public:
    explicit EZipFailure(TZipError error) : Exception(error.message), error_(std::move(error)) {}
    const TZipError& Error() const { return error_; }

  private:
    TZipError error_;
};

extern const char* const kUserAbortedText;        // "User Aborted Operation"
extern const char* const kUserCanceledZipText;    // "User canceled Zip operation"
extern const char* const kIncompleteZipText;      // "Incomplete Zip File"
extern const char* const kNotAValidZipText;       // "Not a valid zip file!"
extern const char* const kNotEnoughRoomText;      // "Not enough room to write archive"
extern const char* const kCompressionErrorText;   // "error"
extern const char* const kDuplicateIndexText;     // "Duplicate Object index"
extern const char* const kIndexOutOfRangeFormat;  // "Index %d is out of range"

}  // namespace qm
