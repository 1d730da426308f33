#pragma once

#include "ports/Files.hpp"

namespace corvane::gtk {

// Files through GIO and the POSIX calls for extended attributes and mounts.
class GtkFiles : public shell::Files {
public:
    bool exists(const std::string& path) override;
    bool trash(const std::string& path) override;
    bool copyTree(const std::string& from, const std::string& to) override;
    std::vector<std::string> listBelow(const std::string& path) override;
    bool hasAttribute(const std::string& path, const std::string& name) override;
    void removeAttribute(const std::string& path, const std::string& name) override;
    std::optional<bool> isReadOnlyMount(const std::string& path) override;
};

} // namespace corvane::gtk
