#pragma once

#include <optional>
#include <string>
#include <vector>

namespace corvane::shell {

// The file operations moving the app needs. Paths are absolute; symbolic links are never followed.
class Files {
public:
    virtual ~Files() = default;
    virtual bool exists(const std::string& path) = 0;
    // Into the desktop's trash.
    virtual bool trash(const std::string& path) = 0;
    // A folder tree with its permissions and symbolic links; the destination's parent is created.
    virtual bool copyTree(const std::string& from, const std::string& to) = 0;
    // Every path below `path`, relative to it, each folder before its contents.
    virtual std::vector<std::string> listBelow(const std::string& path) = 0;
    virtual bool hasAttribute(const std::string& path, const std::string& name) = 0;
    virtual void removeAttribute(const std::string& path, const std::string& name) = 0;
    // Whether the file system holding `path` is mounted read-only; none when that cannot be read.
    virtual std::optional<bool> isReadOnlyMount(const std::string& path) = 0;
};

} // namespace corvane::shell
