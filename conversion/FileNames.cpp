#include "conversion/FileNames.h"

namespace qm {
namespace {

std::string_view LastComponent(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string ExtractFileExt(std::string_view path) {
    const std::string_view name = LastComponent(path);
    const size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
}

std::string ExtractBaseName(std::string_view path) {
    const std::string_view name = LastComponent(path);
    return std::string(name.substr(0, name.rfind('.')));
}

}  // namespace qm
