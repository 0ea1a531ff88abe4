#include "zip/ZipExceptions.h"

namespace qm {

const char* const kUserAbortedText = "User Aborted Operation";
const char* const kUserCanceledZipText = "User canceled Zip operation";
const char* const kIncompleteZipText = "Incomplete Zip File";
const char* const kNotAValidZipText = "Not a valid zip file!";
const char* const kNotEnoughRoomText = "Not enough room to write archive";
const char* const kCompressionErrorText = "error";
const char* const kDuplicateIndexText = "Duplicate Object index";
const char* const kIndexOutOfRangeFormat = "Index %d is out of range";

}  // namespace qm
