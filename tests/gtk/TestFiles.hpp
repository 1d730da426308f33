#pragma once

// Throwaway folders and whole-file reads and writes for the backend's file-touching tests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace corvane::gtk::testing {

// A fresh folder of its own, removed with all it holds.
struct TempFolder {
    std::string path;
    TempFolder() {
        std::string name = (std::filesystem::temp_directory_path() / "corvane-test-XXXXXX").string();
        EXPECT_NE(mkdtemp(name.data()), nullptr) << name;
        path = name;
    }
    ~TempFolder() { std::filesystem::remove_all(path); }
};

// The bytes in path, or "(none)" when it cannot be read.
inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "(none)";
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Writes text to path, making the folders it needs.
inline void writeFile(const std::string& path, const std::string& text, int mode = 0644) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    std::filesystem::permissions(path, std::filesystem::perms(mode));
    ASSERT_EQ(readFile(path), text) << path;
}

} // namespace corvane::gtk::testing
