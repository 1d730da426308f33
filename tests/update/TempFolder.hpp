// A fresh, empty folder under the test's temporary directory, removed with the object.
#pragma once

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace corvane::update {

struct TempFolder {
    std::filesystem::path path;
    explicit TempFolder(const std::string& name) : path(std::filesystem::path(testing::TempDir()) / name) {
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~TempFolder() { std::filesystem::remove_all(path); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
};

} // namespace corvane::update
