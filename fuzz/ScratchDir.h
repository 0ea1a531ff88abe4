#pragma once
// The scratch folder of a slow fuzz target's process, made on first use and
// removed when the process ends. Never freed, so it outlives every exit
// handler.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace qm::fuzz {

inline const std::string& ScratchDir(const char* tag) {
    static const std::string* dir = [tag] {
        const char* base = std::getenv("TMPDIR");
        auto* path = new std::string(std::string(base && *base ? base : "/tmp") + "/" + tag +
                                     std::to_string(::getpid()) + "/");
        ::mkdir(path->c_str(), 0700);
        std::atexit([] { std::filesystem::remove_all(*dir); });
        return path;
    }();
    return *dir;
}

}  // namespace qm::fuzz
