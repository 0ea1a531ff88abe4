#pragma once
// The archive builder's own exceptions. The message texts are part of the
// component's interface.
#include "platform/Exceptions.h"

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

extern const char* const kUserAbortedText;        // "User Aborted Operation"
extern const char* const kUserCanceledZipText;    // "User canceled Zip operation"
extern const char* const kIncompleteZipText;      // "Incomplete Zip File"
extern const char* const kNotAValidZipText;       // "Not a valid zip file!"
extern const char* const kNotEnoughRoomText;      // "Not enough room to write archive"
extern const char* const kCompressionErrorText;   // "error"
extern const char* const kDuplicateIndexText;     // "Duplicate Object index"
extern const char* const kIndexOutOfRangeFormat;  // "Index %d is out of range"

}  // namespace qm
