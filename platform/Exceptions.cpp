#include "platform/Exceptions.h"

#include <cstring>

#include "platform/Format.h"

namespace qm {

std::string CreateErrorText(const std::string& path, int errorNumber) {
    return Format("Cannot create file \"%s\". %s", path.c_str(), std::strerror(errorNumber));
}

std::string OpenErrorText(const std::string& path, int errorNumber) {
    return Format("Cannot open file \"%s\". %s", path.c_str(), std::strerror(errorNumber));
}

}  // namespace qm
