#include "app/GtkFiles.hpp"

#include <functional>

#include <gio/gio.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>

namespace corvane::gtk {

namespace {

constexpr auto noFollow = G_FILE_QUERY_INFO_NOFOLLOW_SYMLINKS;

// Each child of `folder` (symbolic links not entered), in the enumerator's order.
bool eachChild(GFile* folder, const std::function<bool(GFile* child, GFileType type)>& visit) {
    g_autoptr(GFileEnumerator) children = g_file_enumerate_children(
        folder, G_FILE_ATTRIBUTE_STANDARD_NAME "," G_FILE_ATTRIBUTE_STANDARD_TYPE, noFollow, nullptr, nullptr);
    if (!children) return false;
    for (;;) {
        // Both belong to the enumerator.
        GFileInfo* info = nullptr;
        GFile* child = nullptr;
        if (!g_file_enumerator_iterate(children, &info, &child, nullptr, nullptr)) return false;
        if (!info) return true;
        if (!visit(child, g_file_info_get_file_type(info))) return false;
    }
}

constexpr auto copyFlags = static_cast<GFileCopyFlags>(G_FILE_COPY_NOFOLLOW_SYMLINKS | G_FILE_COPY_ALL_METADATA);
constexpr const char* kFolderAttributes =
    G_FILE_ATTRIBUTE_UNIX_MODE "," G_FILE_ATTRIBUTE_TIME_MODIFIED "," G_FILE_ATTRIBUTE_TIME_MODIFIED_USEC
                               "," G_FILE_ATTRIBUTE_TIME_ACCESS "," G_FILE_ATTRIBUTE_TIME_ACCESS_USEC;

bool copyInto(GFile* from, GFile* to) {
    if (g_file_query_file_type(from, noFollow, nullptr) != G_FILE_TYPE_DIRECTORY)
        return g_file_copy(from, to, copyFlags, nullptr, nullptr, nullptr, nullptr);
    if (!g_file_make_directory(to, nullptr, nullptr)) return false;
    const bool children = eachChild(from, [to](GFile* child, GFileType) {
        g_autofree char* name = g_file_get_basename(child);
        g_autoptr(GFile) target = g_file_get_child(to, name);
        return copyInto(child, target);
    });
    // A folder's own permissions last, so a read-only one could still be filled. Its permissions and times
    // only: GLib 2.84 refuses to copy a folder's whole metadata ("Setting attribute standard::size not
    // supported").
    if (!children) return false;
    g_autoptr(GFileInfo) info = g_file_query_info(from, kFolderAttributes, noFollow, nullptr, nullptr);
    return info && g_file_set_attributes_from_info(to, info, noFollow, nullptr, nullptr);
}

void listInto(GFile* root, GFile* folder, std::vector<std::string>& out) {
    eachChild(folder, [&](GFile* child, GFileType type) {
        if (g_autofree char* relative = g_file_get_relative_path(root, child)) out.emplace_back(relative);
        if (type == G_FILE_TYPE_DIRECTORY) listInto(root, child, out);
        return true;
    });
}

} // namespace

bool GtkFiles::exists(const std::string& path) {
    g_autoptr(GFile) file = g_file_new_for_path(path.c_str());
    return g_file_query_file_type(file, noFollow, nullptr) != G_FILE_TYPE_UNKNOWN;
}

bool GtkFiles::trash(const std::string& path) {
    g_autoptr(GFile) file = g_file_new_for_path(path.c_str());
    return g_file_trash(file, nullptr, nullptr);
}

bool GtkFiles::copyTree(const std::string& from, const std::string& to) {
    g_autoptr(GFile) target = g_file_new_for_path(to.c_str());
    g_autoptr(GFile) parent = g_file_get_parent(target);
    g_autoptr(GError) error = nullptr;
    if (!g_file_make_directory_with_parents(parent, nullptr, &error) &&
        !g_error_matches(error, G_IO_ERROR, G_IO_ERROR_EXISTS))
        return false;
    g_autoptr(GFile) source = g_file_new_for_path(from.c_str());
    return copyInto(source, target);
}

std::vector<std::string> GtkFiles::listBelow(const std::string& path) {
    std::vector<std::string> out;
    g_autoptr(GFile) root = g_file_new_for_path(path.c_str());
    listInto(root, root, out);
    return out;
}

bool GtkFiles::hasAttribute(const std::string& path, const std::string& name) {
    return lgetxattr(path.c_str(), name.c_str(), nullptr, 0) >= 0;
}

void GtkFiles::removeAttribute(const std::string& path, const std::string& name) {
    lremovexattr(path.c_str(), name.c_str());
}

std::optional<bool> GtkFiles::isReadOnlyMount(const std::string& path) {
    struct statvfs fs {};
    if (statvfs(path.c_str(), &fs) != 0) return std::nullopt;
    return (fs.f_flag & ST_RDONLY) != 0;
}

} // namespace corvane::gtk
