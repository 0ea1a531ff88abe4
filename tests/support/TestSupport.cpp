#include "support/TestSupport.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/TempDir.h"

namespace qm::test {

namespace {

std::string MakeTempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/qm-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!::mkdtemp(buffer.data())) throw std::runtime_error("mkdtemp failed");
    return std::string(buffer.data()) + "/";
}

}  // namespace

ScratchDir::ScratchDir() : path_(MakeTempDir()) {}

ScratchDir::ScratchDir(TPictured) {
    const char* named = std::getenv("QM_PICTURE_DIR");
    if (named == nullptr || *named == '\0') {
        path_ = MakeTempDir();
        return;
    }
    path_ = std::string(named) + "/";
    MakeDirs(path_);
}

ScratchDir::~ScratchDir() {
    // Tests make read-only directories; give access back before removing.
    std::system(("chmod -R u+rwx " + Quote(path_) + " 2>/dev/null").c_str());
    RemoveTree(path_);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + path);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> DirectoryNames(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void MakeDirs(const std::string& path) {
    std::system(("mkdir -p " + Quote(path)).c_str());
}

std::string BinPath(const std::string& name) {
    return std::string(QM_BIN_DIR) + "/" + name;
}

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

CommandResult Run(const std::string& command) {
    ScratchDir capture;
    const std::string out = capture / "out";
    const std::string err = capture / "err";
    CommandResult result;
    const int status = std::system(
        ("( " + command + " ) >" + Quote(out) + " 2>" + Quote(err) + " </dev/null").c_str());
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadFile(out);
    result.err = ReadFile(err);
    return result;
}

std::string Hex(const std::string& digits) {
    std::string bytes;
    std::string pair;
    for (char c : digits) {
        if (c == ' ') continue;
        pair += c;
        if (pair.size() == 2) {
            bytes += static_cast<char>(std::stoi(pair, nullptr, 16));
            pair.clear();
        }
    }
    return bytes;
}

std::string Utf16LeWithMark(const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

std::string Repeat(const std::string& text, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += text;
    return out;
}

}  // namespace qm::test
