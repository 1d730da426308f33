#include "Install.hpp"

#include <cstdio>
#include <filesystem>

#include <unistd.h>

namespace corvane::update {

namespace fs = std::filesystem;

std::string stagingPath(const std::string& bundle, const std::string& what) {
    const fs::path b(bundle);
    std::string name = b.filename().string();
    name.insert(0, 1, '.');
    name.append("-update-").append(what);
    return (b.parent_path() / name).string();
}

std::string swapBundle(const std::string& bundle, const std::string& staged) {
    const std::string old = stagingPath(bundle, "old-" + std::to_string(getpid()));
    std::error_code error;
    fs::remove_all(old, error);
    if (std::rename(bundle.c_str(), old.c_str()) != 0) return "The running copy could not be moved aside.";
    if (std::rename(staged.c_str(), bundle.c_str()) != 0) {
        std::rename(old.c_str(), bundle.c_str());
        return "The new copy could not be put in place.";
    }
    fs::remove_all(old, error);
    return "";
}

} // namespace corvane::update
