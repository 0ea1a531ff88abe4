#include "conversion/run/RunResult.h"

namespace qm {

TRunError RunErrorOf(const TZipError& error) {
    const bool stopped = error.kind == TZipError::Kind::Canceled;
    return {stopped ? TRunError::Kind::Canceled : TRunError::Kind::Failed, error.message};
}

TRunError RunErrorOf(const std::exception_ptr& raised) {
    try {
        std::rethrow_exception(raised);
    } catch (const ERunFailure& failure) {
        return failure.Error();
    } catch (const std::exception& error) {
        return {TRunError::Kind::Failed, error.what()};
    } catch (...) {
        return {TRunError::Kind::Failed, "unknown failure"};
    }
}

void Require(const TRunStatus& status) {
    if (!status) throw ERunFailure(status.Error());
}

void Require(const TZipStatus& status) {
    if (!status) throw ERunFailure(RunErrorOf(status.Error()));
}

}  // namespace qm
