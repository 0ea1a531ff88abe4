#include "conversion/FileNames.h"

#include "conversion/BookEncoding.h"

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

std::string NameText(std::string_view bytes) {
    if (IsValidUtf8(bytes)) return std::string(bytes);
    return DecodeBookText(bytes, "GB18030").text;
}

std::string BaseNameText(std::string_view path) {
    return NameText(ExtractBaseName(path));
}

}  // namespace qm
