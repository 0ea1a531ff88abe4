#include "zip/ZipExceptions.h"

#include <exception>

namespace qm {

const char* const kUserAbortedText = "User Aborted Operation";
const char* const kUserCanceledZipText = "User canceled Zip operation";
const char* const kIncompleteZipText = "Incomplete Zip File";
const char* const kNotAValidZipText = "Not a valid zip file!";
const char* const kNotEnoughRoomText = "Not enough room to write archive";
const char* const kCompressionErrorText = "error";
const char* const kDuplicateIndexText = "Duplicate Object index";
const char* const kIndexOutOfRangeFormat = "Index %d is out of range";

TZipError ErrorOf(const std::exception_ptr& raised) {
    using Kind = TZipError::Kind;
    try {
        std::rethrow_exception(raised);
    } catch (const EZipFailure& failure) {
        return failure.Error();
    } catch (const EUserCanceled& error) {
        return {Kind::Canceled, error.what()};
    } catch (const ENotAZipFile& error) {
        return {Kind::NotAnArchive, error.what()};
    } catch (const EBadZipFile& error) {
        return {Kind::BadArchive, error.what()};
    } catch (const EIncompleteZip& error) {
        return {Kind::BadArchive, error.what()};
    } catch (const ENotEnoughRoom& error) {
        return {Kind::NoRoom, error.what()};
    } catch (const EFOpenError& error) {
        return {Kind::OpenFailed, error.what()};
    } catch (const EFCreateError& error) {
        return {Kind::CreateFailed, error.what()};
    } catch (const std::exception& error) {
        return {Kind::Failed, error.what()};
    } catch (...) {
        return {Kind::Failed, "unknown failure"};
    }
}

}  // namespace qm
