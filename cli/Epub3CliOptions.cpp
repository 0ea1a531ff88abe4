#include "cli/Epub3CliOptions.h"

namespace qm {

bool ParseEpub3Option(const std::vector<std::string>& args, size_t& i, TEpub3Options& options,
                      std::string& error) {
    const std::string& arg = args[i];
    if (arg == "--epub3") {
        options.epub3 = true;
        return true;
    }
    if (arg == "--vertical") {
        options.vertical = true;
        return true;
    }
    const size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    std::string* target = name == "--encoding"   ? &options.encoding
                          : name == "--language" ? &options.language
                          : name == "--convert"  ? &options.convert
                          : name == "--cover"    ? &options.coverPath
                          : name == "--font"     ? &options.fontPath
                                                 : nullptr;
    if (!target) return false;
    if (equals != std::string::npos) {
        *target = arg.substr(equals + 1);
    } else if (i + 1 < args.size()) {
        *target = args[++i];
    } else {
        error = "option " + arg + " needs a value";
        return true;
    }
    if (target->empty()) error = "option " + name + " needs a value";
    return true;
}

std::string OptionNeedingEpub3(const TEpub3Options& options) {
    if (options.epub3) return {};
    if (!options.encoding.empty()) return "--encoding";
    if (!options.language.empty()) return "--language";
    if (!options.convert.empty()) return "--convert";
    if (options.vertical) return "--vertical";
    if (!options.coverPath.empty()) return "--cover";
    if (!options.fontPath.empty()) return "--font";
    return {};
}

}  // namespace qm
