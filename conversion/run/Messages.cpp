#include "conversion/run/Messages.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace qm {
namespace {

struct TEntry {
    const char* english;
    const char* chinese;
};

// "%s" stands for a part that is translated in turn (a path stays as it is).
// Texts that reach the user through the command line: its own, the reasons
// of the conversion and of the system (strerror's words), and the classic
// layout's fixed texts, which are Chinese.
constexpr TEntry kCatalogue[] = {
    // The command line's own.
    {"The book was converted.", "恭喜你，文件转换成功"},
    {"The conversion failed.", "灰常遗憾，未能转换成功"},
    {"Interrupted", "已中断"},
    {"Writing pages:", "正在写页面："},
    {"Packing the book:", "正在打包："},
    {"(%s failed)", "（%s 本失败）"},
    {"Saved to %s", "已保存到 %s"},
    {"Converted %s of %s books.", "已转换 %s 本书（共 %s 本）。"},
    {"Failed: %s", "失败：%s"},
    {"Try '%s --help'.", "请用“%s --help”查看用法。"},
    {"no .txt files found", "没有找到 .txt 文件"},
    {"no FILE given", "没有给出 FILE"},
    {"unknown option %s", "未知选项 %s"},
    {"ambiguous option %s", "有歧义的选项 %s"},
    {"option %s takes no value", "选项 %s 不带值"},
    {"option %s needs a value", "选项 %s 需要一个值"},
    {"bad value \"%s\" for %s", "“%s”不是 %s 的有效值"},
    {"%s must be a whole number from %s to %s, not \"%s\"", "%s 须是 %s 到 %s 的整数，而不是“%s”"},
    {"-o names one book; with several FILEs, -O or -r, use -O DIR",
     "-o 只能指定一本书；有多个 FILE、-O 或 -r 时请用 -O DIR"},
    {"%s applies to a single FILE only", "%s 只能用于单个 FILE"},
    {"%s applies to a single book only, and these FILEs hold %s",
     "%s 只能用于一本书，而这些 FILE 共有 %s 本"},
    {"%s applies to EPUB 3 books only, not with --classic",
     "%s 只适用于 EPUB 3 书，不能与 --classic 同用"},
    {"\"%s\" is a directory; use -r to convert the .txt files below it",
     "“%s”是一个目录；要转换其中的 .txt 文件，请加 -r"},
    {"is a directory; -r converts the .txt files below it",
     "是一个目录；加 -r 可转换其中的 .txt 文件"},
    {"is not a .txt file; only files ending in \".txt\" can be converted",
     "不是 .txt 文件；只能转换以“.txt”结尾的文件"},
    {"is a folder that cannot be read (%s); its books were not converted",
     "是无法读取的文件夹（%s）；其中的书没有转换"},
    {"is a link to nothing; there is no book to convert", "是指向不存在文件的链接；没有书可转换"},
    {"is a link that cannot be followed (%s); it was not converted",
     "是无法跟随的链接（%s）；没有转换"},
    {"is a named pipe, not a file; it was not converted", "是命名管道，不是文件；没有转换"},
    {"is a device or a socket, not a file; it was not converted",
     "是设备或套接字，不是文件；没有转换"},
    {"books are not written to standard output (-o -); give a file name after -o",
     "书不能写到标准输出（-o -）；请在 -o 后给出文件名"},
    {"cannot make the directory \"%s\": %s", "无法创建目录“%s”：%s"},
    {"warning: %s", "警告：%s"},
    {"the book's own headings divide it; -n %s applies only if none is found (or with "
     "--no-chapters).",
     "书中自带的标题已将其分章；-n %s 仅在找不到标题时（或加 --no-chapters）才起作用。"},
    {"their own headings divide %s of the %s books; -n %s applies only to those without (or "
     "with --no-chapters).",
     "%s 本书（共 %s 本）已按自带的标题分章；-n %s 只作用于其余的书（或加 --no-chapters）。"},
    // Whole sentences only: a short entry would also turn a path such as "."
    // that fills a "%s" elsewhere.
    {"Clean-up found no site boilerplate to remove.", "清理：没有找到要去掉的网站广告。"},
    {"Clean-up removed 1 line of site boilerplate.", "清理：去掉了 1 行网站广告。"},
    {"Clean-up removed %s lines of site boilerplate.", "清理：去掉了 %s 行网站广告。"},
    {"Clean-up removed 1 line of site boilerplate and 1 web address stamped on the book's "
     "sentences.",
     "清理：去掉了 1 行网站广告，以及句中夹带的 1 个网址。"},
    {"Clean-up removed 1 line of site boilerplate and %s web addresses stamped on the book's "
     "sentences.",
     "清理：去掉了 1 行网站广告，以及句中夹带的 %s 个网址。"},
    {"Clean-up removed %s lines of site boilerplate and 1 web address stamped on the book's "
     "sentences.",
     "清理：去掉了 %s 行网站广告，以及句中夹带的 1 个网址。"},
    {"Clean-up removed %s lines of site boilerplate and %s web addresses stamped on the book's "
     "sentences.",
     "清理：去掉了 %s 行网站广告，以及句中夹带的 %s 个网址。"},
    {"Found %s chapters.", "共 %s 章"},
    {"Found 1 chapter.", "共 1 章"},
    {"Found %s volumes and %s chapters.", "共 %s 卷、%s 章"},
    {"Found 1 volume and %s chapters.", "共 1 卷、%s 章"},
    // The conversion's reasons.
    {"\"%s\" is not a .txt file; only files ending in \".txt\" can be converted.",
     "“%s”不是 .txt 文件；只能转换以“.txt”结尾的文件。"},
    {"\"%s\" is a named pipe, not a file.", "“%s”是命名管道，不是文件。"},
    {"\"%s\" is a named pipe, not a file; nothing was written to it.",
     "“%s”是命名管道，不是文件；没有向它写入任何内容。"},
    {"\"%s\" is a device, not a file; nothing was written to it.",
     "“%s”是设备，不是文件；没有向它写入任何内容。"},
    {"\"%s\" is a socket, not a file; nothing was written to it.",
     "“%s”是套接字，不是文件；没有向它写入任何内容。"},
    {"\"%s\" exists and is not an EPUB book; it was left unchanged.",
     "“%s”已存在且不是 EPUB 书，未作改动。"},
    {"\"%s\" exists and is not a ZIP archive; it was left unchanged.",
     "“%s”已存在且不是 ZIP 压缩包，未作改动。"},
    {"Cannot open file \"%s\". %s", "无法打开文件“%s”：%s"},
    {"Cannot create file \"%s\". %s", "无法创建文件“%s”：%s"},
    {"Cannot create \"%s\". %s", "无法创建“%s”：%s"},
    {"Cannot put the book in place as \"%s\". %s", "无法将书放到“%s”：%s"},
    {"Cannot create a temporary directory in \"%s\". %s", "无法在“%s”中创建临时目录：%s"},
    {"Could not copy from %s -> %s: %s", "无法从 %s 复制到 %s：%s"},
    {"The source's encoding is not marked; it was read as %s. If the text looks wrong, give its "
     "encoding (--encoding, or 文本编码 in the window's EPUB 3 options).",
     "源文件未标明编码，已按 %s 读取。如文字有误，请指定编码（--encoding，或窗口 EPUB 3 "
     "选项中的“文本编码”）。"},
    {"No chapter headings were found; the book is cut into %s parts at line ends instead.",
     "没有找到章节标题；改为在行尾将书切成 %s 份。"},
    {"The chapter pattern \"%s\" is not a valid regular expression (%s at character %s).",
     "章节模式“%s”不是有效的正则表达式（%s，在第 %s 个字符处）。"},
    {"The volume pattern \"%s\" is not a valid regular expression (%s at character %s).",
     "卷模式“%s”不是有效的正则表达式（%s，在第 %s 个字符处）。"},
    {"Unknown text encoding \"%s\"%s", "未知的文本编码“%s”%s"},
    {"Decoding failed: %s", "解码失败：%s"},
    {"Not enough room to write archive", "磁盘空间不足，无法写入压缩包"},
    // The drawn cover's.
    {"The cover could not be drawn: %s.", "无法绘制封面：%s。"},
    {"no new thread can be started (%s)", "无法再启动线程（%s）"},
    {"not enough memory is left (%s)", "剩余内存不足（%s）"},
    {"The cover is drawn without the book's title: no installed font has all of its characters.",
     "封面上未印书名：已安装的字体都不能显示书名的全部文字。"},
    {"The cover is drawn without the author's name: no installed font has all of its "
     "characters.",
     "封面上未印作者名：已安装的字体都不能显示作者名的全部文字。"},
    // The options' reasons: a cover, a font, a name the run does not know.
    {"The cover image \"%s\" is a named pipe, not a file.", "封面图片“%s”是命名管道，不是文件。"},
    {"The font \"%s\" is a named pipe, not a file.", "字体“%s”是命名管道，不是文件。"},
    {"The cover image \"%s\" is not a regular file.", "封面图片“%s”不是普通文件。"},
    {"The font \"%s\" is not a regular file.", "字体“%s”不是普通文件。"},
    {"The cover image \"%s\" cannot be read: %s", "无法读取封面图片“%s”：%s"},
    {"The font \"%s\" cannot be read: %s", "无法读取字体“%s”：%s"},
    {"The cover image \"%s\" %s.", "封面图片“%s”%s。"},
    {"The font \"%s\" %s.", "字体“%s”%s。"},
    {"larger than 64 MB", "大于 64 MB"},
    {"is not a JPEG or PNG image", "不是 JPEG 或 PNG 图片"},
    {"is a damaged PNG image (%s)", "是损坏的 PNG 图片（%s）"},
    {"is a damaged JPEG image (%s)", "是损坏的 JPEG 图片（%s）"},
    {"is not a PNG image that can be decoded (%s)", "是无法解码的 PNG 图片（%s）"},
    {"is not a JPEG image that can be decoded (%s)", "是无法解码的 JPEG 图片（%s）"},
    {"is not a TrueType, OpenType or WOFF font", "不是 TrueType、OpenType 或 WOFF 字体"},
    {"has a malformed table directory", "的表目录有误"},
    {"\"%s\" is not a BCP 47 language tag (such as zh-Hans, zh-Hant, ja or en).",
     "“%s”不是 BCP 47 语言标签（如 zh-Hans、zh-Hant、ja 或 en）。"},
    {"Unknown Chinese conversion \"%s\" (one of %s).", "未知的简繁转换“%s”（可选：%s）。"},
    {"--unwrap and --no-unwrap contradict each other.", "--unwrap 与 --no-unwrap 互相矛盾。"},
    // The classic layout's fixed texts.
    {"The file is not bigger than the number of parts.", "文件大小小于或等于分割数"},
    // The system's reasons (strerror).
    {"No such file or directory", "没有那个文件或目录"},
    {"Permission denied", "权限不够"},
    {"Is a directory", "是一个目录"},
    {"Not a directory", "不是目录"},
    {"No space left on device", "设备上没有空间"},
    {"Read-only file system", "只读文件系统"},
    {"File exists", "文件已存在"},
    {"File name too long", "文件名过长"},
    {"Disk quota exceeded", "超出磁盘配额"},
    {"Too many open files", "打开的文件过多"},
    {"Input/output error", "输入/输出错误"},
    {"File too large", "文件过大"},
    {"Operation not permitted", "不允许的操作"},
    {"Too many levels of symbolic links", "符号链接层数过多"},
    {"Resource temporarily unavailable", "资源暂时不可用"},
    {"Cannot allocate memory", "无法分配内存"},
};

// ICU's names of the mistakes a pattern can hold, in words.
constexpr struct {
    const char* name;
    TEntry words;
} kIcuNames[] = {
    {"U_REGEX_MISMATCHED_PAREN", {"unmatched parenthesis", "括号不配对"}},
    {"U_REGEX_MISSING_CLOSE_BRACKET", {"a \"[\" without its \"]\"", "“[”缺少对应的“]”"}},
    {"U_REGEX_RULE_SYNTAX", {"a syntax error", "语法错误"}},
    {"U_REGEX_BAD_ESCAPE_SEQUENCE", {"an unknown escape (\\)", "无法识别的转义（\\）"}},
    {"U_REGEX_BAD_INTERVAL", {"a bad {min,max} repeat", "无效的 {min,max} 重复"}},
    {"U_REGEX_MAX_LT_MIN", {"a repeat whose max is below its min", "重复次数上限小于下限"}},
    {"U_REGEX_INVALID_RANGE", {"a range whose end comes before its start", "字符范围首尾颠倒"}},
    {"U_REGEX_INVALID_BACK_REF", {"a back reference to no group", "反向引用的分组不存在"}},
    {"U_REGEX_PROPERTY_SYNTAX", {"a bad \\p{...} property", "无效的 \\p{...} 属性"}},
    {"U_REGEX_NUMBER_TOO_BIG", {"a number too big", "数字过大"}},
    {"U_REGEX_LOOK_BEHIND_LIMIT", {"a look-behind without a bounded length", "后行断言长度不定"}},
    {"U_REGEX_UNIMPLEMENTED", {"something ICU does not support", "ICU 不支持的写法"}},
    {"U_INVALID_CHAR_FOUND", {"a character this encoding cannot hold", "该编码无法表示的字符"}},
    {"U_ILLEGAL_CHAR_FOUND", {"bytes that are not text in this encoding", "不符合该编码的字节"}},
    {"U_FILE_ACCESS_ERROR", {"data ICU could not find", "找不到 ICU 的数据"}},
};

const char* In(const TEntry& entry, TLanguage language) {
    return language == TLanguage::Chinese ? entry.chinese : entry.english;
}

std::vector<std::string_view> Pieces(std::string_view pattern) {
    std::vector<std::string_view> pieces;
    for (size_t at = 0;;) {
        const size_t mark = pattern.find("%s", at);
        pieces.push_back(pattern.substr(at, mark - at));
        if (mark == std::string_view::npos) return pieces;
        at = mark + 2;
    }
}

// True when text is pattern with its "%s" filled in; the fillings in parts.
// Each filling but the last is as short as it can be.
bool Matches(std::string_view text, std::string_view pattern, std::vector<std::string>& parts) {
    const std::vector<std::string_view> pieces = Pieces(pattern);
    parts.clear();
    if (pieces.size() == 1) return text == pattern;
    const std::string_view last = pieces.back();
    if (!text.starts_with(pieces.front()) || !text.ends_with(last) ||
        text.size() < pieces.front().size() + last.size())
        return false;
    const std::string_view middle =
        text.substr(pieces.front().size(), text.size() - pieces.front().size() - last.size());
    size_t at = 0;
    for (size_t k = 1; k + 1 < pieces.size(); ++k) {
        const size_t found = middle.find(pieces[k], at);
        if (found == std::string_view::npos) return false;
        parts.emplace_back(middle.substr(at, found - at));
        at = found + pieces[k].size();
    }
    parts.emplace_back(middle.substr(at));
    return true;
}

std::string Fill(std::string_view pattern, const std::vector<std::string>& parts) {
    const std::vector<std::string_view> pieces = Pieces(pattern);
    std::string text(pieces.front());
    for (size_t k = 1; k < pieces.size(); ++k) {
        if (k - 1 < parts.size()) text += parts[k - 1];
        text += pieces[k];
    }
    return text;
}

std::string NamesInWords(std::string text, TLanguage language) {
    for (const auto& icu : kIcuNames) {
        for (size_t at = text.find(icu.name); at != std::string::npos;
             at = text.find(icu.name, at)) {
            const std::string words = In(icu.words, language);
            text.replace(at, std::string_view(icu.name).size(), words);
            at += words.size();
        }
    }
    return text;
}

}  // namespace

TLanguage MessageLanguage(const char* lcAll, const char* lcMessages, const char* lang) {
    for (const char* value : {lcAll, lcMessages, lang}) {
        if (value == nullptr || *value == '\0') continue;
        return std::string_view(value).starts_with("zh") ? TLanguage::Chinese : TLanguage::English;
    }
    return TLanguage::English;
}

TLanguage MessageLanguageFromEnvironment() {
    return MessageLanguage(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}

std::string Say(TLanguage language, const char* english, std::initializer_list<std::string> args) {
    const std::vector<std::string> parts(args);
    for (const TEntry& entry : kCatalogue) {
        if (std::string_view(entry.english) == english) return Fill(In(entry, language), parts);
    }
    return Fill(english, parts);
}

std::string LocalText(const std::string& text, TLanguage language) {
    std::vector<std::string> parts;
    for (const TEntry& entry : kCatalogue) {
        for (const char* pattern : {entry.english, entry.chinese}) {
            if (!Matches(text, pattern, parts)) continue;
            for (std::string& part : parts) part = LocalText(part, language);
            return Fill(In(entry, language), parts);
        }
    }
    return NamesInWords(text, language);
}

std::string WindowText(const std::string& text, TLanguage language) {
    std::string shown;
    for (size_t at = 0; at <= text.size();) {
        const size_t end = std::min(text.find('\n', at), text.size());
        const std::string line = text.substr(at, end - at);
        const bool keep =
            language == TLanguage::English && LocalText(line, TLanguage::Chinese) == line;
        shown += keep ? line : LocalText(line, language);
        if (end < text.size()) shown += '\n';
        at = end + 1;
    }
    return shown;
}

}  // namespace qm
