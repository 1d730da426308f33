#include "app/GtkFiles.hpp"

#include <functional>

#include <gio/gio.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>

namespace corvane::gtk {

namespace {

constexpr auto noFollow = G_FILE_QUERY_INFO_NOFOLLOW_SYMLINKS;

struct File {
    GFile* file;
    explicit File(const std::string& path) : file(g_file_new_for_path(path.c_str())) {}
    explicit File(GFile* adopted) : file(adopted) {}
    ~File() { g_object_unref(file); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    operator GFile*() const { return file; }
};

// Each child of `folder` (symbolic links not entered), in the enumerator's order.
bool eachChild(GFile* folder, const std::function<bool(GFile* child, GFileType type)>& visit) {
    GFileEnumerator* children = g_file_enumerate_children(
        folder, G_FILE_ATTRIBUTE_STANDARD_NAME "," G_FILE_ATTRIBUTE_STANDARD_TYPE, noFollow, nullptr, nullptr);
    if (!children) return false;
    bool ok = true;
    for (;;) {
        GFileInfo* info = nullptr;
        GFile* child = nullptr;
        if (!g_file_enumerator_iterate(children, &info, &child, nullptr, nullptr)) {
            ok = false;
            break;
        }
        if (!info) break;
        if (!visit(child, g_file_info_get_file_type(info))) {
            ok = false;
            break;
        }
    }
    g_object_unref(children);
    return ok;
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
        char* name = g_file_get_basename(child);
        File target(g_file_get_child(to, name));
        g_free(name);
        return copyInto(child, target);
    });
    // A folder's own permissions last, so a read-only one could still be filled. Its permissions and times
    // only: GLib 2.84 refuses to copy a folder's whole metadata ("Setting attribute standard::size not
    // supported").
    if (!children) return false;
    GFileInfo* info = g_file_query_info(from, kFolderAttributes, noFollow, nullptr, nullptr);
    const bool set = info && g_file_set_attributes_from_info(to, info, noFollow, nullptr, nullptr);
    if (info) g_object_unref(info);
    return set;
}

void listInto(GFile* root, GFile* folder, std::vector<std::string>& out) {
    eachChild(folder, [&](GFile* child, GFileType type) {
        if (char* relative = g_file_get_relative_path(root, child)) {
            out.emplace_back(relative);
            g_free(relative);
        }
        if (type == G_FILE_TYPE_DIRECTORY) listInto(root, child, out);
        return true;
    });
}

} // namespace

bool GtkFiles::exists(const std::string& path) {
    return g_file_query_file_type(File(path), noFollow, nullptr) != G_FILE_TYPE_UNKNOWN;
}

bool GtkFiles::trash(const std::string& path) { return g_file_trash(File(path), nullptr, nullptr); }

bool GtkFiles::copyTree(const std::string& from, const std::string& to) {
    File target(to);
    File parent(g_file_get_parent(target));
    GError* error = nullptr;
    if (!g_file_make_directory_with_parents(parent, nullptr, &error)) {
        const bool exists = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_EXISTS);
        g_error_free(error);
        if (!exists) return false;
    }
    return copyInto(File(from), target);
}

std::vector<std::string> GtkFiles::listBelow(const std::string& path) {
    std::vector<std::string> out;
    File root(path);
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
