#include "Unpack.hpp"

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>

#include "Relaunch.hpp"

namespace corvane::update {

namespace fs = std::filesystem;

namespace {

// Path components of a relative archive path, or none when it is absolute or climbs with "..".
std::optional<std::vector<std::string>> components(const std::string& path) {
    if (path.empty() || path.front() == '/') return std::nullopt;
    std::vector<std::string> parts;
    std::size_t i = 0;
    while (i <= path.size()) {
        std::size_t j = path.find('/', i);
        if (j == std::string::npos) j = path.size();
        std::string part = path.substr(i, j - i);
        i = j + 1;
        if (part == "..") return std::nullopt;
        if (!part.empty() && part != ".") parts.push_back(std::move(part));
    }
    return parts;
}

std::string join(const std::vector<std::string>& parts, std::size_t count) {
    std::string out;
    for (std::size_t k = 0; k < count; ++k) out += (k ? "/" : "") + parts[k];
    return out;
}

// Whether a link's target, read from the link's folder, stays inside the tree: false when it climbs above
// `floor` components (the bundle's own folder) or passes through one of `links`, whose own target could
// lead anywhere.
bool leadsInside(const std::string& link, const std::string& target, const std::map<std::string, std::string>& links,
                 std::size_t floor) {
    auto parts = components(link);
    if (!parts || target.empty() || target.front() == '/') return false;
    std::vector<std::string> at(parts->begin(), parts->end() - 1);
    if (at.size() < floor) return false;
    for (std::size_t i = 0; i <= target.size();) {
        std::size_t j = target.find('/', i);
        if (j == std::string::npos) j = target.size();
        std::string part = target.substr(i, j - i);
        i = j + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (at.size() <= floor) return false;
            at.pop_back();
        } else {
            at.push_back(std::move(part));
            if (i <= target.size() && links.count(join(at, at.size()))) return false;
        }
    }
    return true;
}

struct ArchiveDeleter {
    void operator()(archive* a) const { archive_read_free(a); }
};
struct WriterDeleter {
    void operator()(archive* a) const { archive_write_free(a); }
};

std::string extract(const std::string& archivePath, const fs::path& into, std::map<std::string, std::string>& links) {
    std::unique_ptr<archive, ArchiveDeleter> in(archive_read_new());
    archive_read_support_filter_xz(in.get());
    archive_read_support_format_tar(in.get());
    if (archive_read_open_filename(in.get(), archivePath.c_str(), 64 * 1024) != ARCHIVE_OK)
        return "The update is not a readable archive.";
    std::unique_ptr<archive, WriterDeleter> out(archive_write_disk_new());
    archive_write_disk_set_options(out.get(), ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_PERM |
                                                  ARCHIVE_EXTRACT_SECURE_NODOTDOT | ARCHIVE_EXTRACT_SECURE_SYMLINKS);
    std::uint64_t written = 0;
    archive_entry* entry = nullptr;
    for (;;) {
        const int status = archive_read_next_header(in.get(), &entry);
        if (status == ARCHIVE_EOF) break;
        if (status != ARCHIVE_OK) return "The update archive is damaged.";
        const char* name = archive_entry_pathname(entry);
        auto parts = components(name ? name : "");
        if (!parts) return "The update archive has a path outside its folder.";
        if (parts->empty()) continue; // "./"
        for (std::size_t k = 1; k < parts->size(); ++k)
            if (links.count(join(*parts, k))) return "The update archive writes through a link.";
        const std::string relative = join(*parts, parts->size());
        if (const char* hardlink = archive_entry_hardlink(entry)) {
            auto target = components(hardlink);
            if (!target || target->empty()) return "The update archive has a link outside its folder.";
            // Neither the target nor any folder on its way may be a link.
            for (std::size_t k = 1; k <= target->size(); ++k)
                if (links.count(join(*target, k))) return "The update archive has a link outside its folder.";
            archive_entry_set_hardlink(entry, (into / join(*target, target->size())).c_str());
        } else {
            switch (archive_entry_filetype(entry)) {
                case AE_IFREG:
                case AE_IFDIR:
                    break;
                case AE_IFLNK: {
                    const char* target = archive_entry_symlink(entry);
                    if (!target || !leadsInside(relative, target, links, 0))
                        return "The update archive has a link outside its folder.";
                    links.emplace(relative, target);
                    break;
                }
                default:
                    return "The update archive holds a device or other special file.";
            }
        }
        archive_entry_set_perm(entry, archive_entry_perm(entry) & 0755);
        archive_entry_set_pathname(entry, (into / relative).c_str());
        // The declared size counts, not the data blocks: a sparse entry has few blocks and any size.
        if (archive_entry_size_is_set(entry) && archive_entry_size(entry) > 0) {
            written += static_cast<std::uint64_t>(archive_entry_size(entry));
            if (written > kMaxUnpackedBytes) return "The update is too large.";
        }
        if (archive_write_header(out.get(), entry) != ARCHIVE_OK) return "The update could not be unpacked.";
        const void* block = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        for (;;) {
            const int r = archive_read_data_block(in.get(), &block, &size, &offset);
            if (r == ARCHIVE_EOF) break;
            if (r != ARCHIVE_OK) return "The update archive is damaged.";
            if (std::uint64_t(offset) + size > std::uint64_t(archive_entry_size(entry)))
                return "The update archive is damaged.";
            if (archive_write_data_block(out.get(), block, size, offset) != ARCHIVE_OK)
                return "The update could not be unpacked.";
        }
        if (archive_write_finish_entry(out.get()) != ARCHIVE_OK) return "The update could not be unpacked.";
    }
    if (archive_write_close(out.get()) != ARCHIVE_OK) return "The update could not be unpacked.";
    return "";
}

bool holdsApp(const fs::path& folder) {
    struct stat st {};
    const fs::path app = folder / shell::bundleExecutable;
    return lstat(app.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IXUSR);
}

} // namespace

Outcome<std::string> unpack(const std::string& archive, const std::string& into) {
    std::error_code error;
    if (!fs::create_directory(into, error) || error)
        return Outcome<std::string>::refused("The update could not be unpacked.");
    fs::permissions(into, fs::perms::owner_all, error);
    std::map<std::string, std::string> links;
    std::string refused = extract(archive, into, links);
    std::optional<std::string> bundle;
    if (refused.empty()) {
        if (holdsApp(into)) {
            bundle = into;
        } else {
            std::vector<fs::path> top;
            for (const auto& e : fs::directory_iterator(into, error)) top.push_back(e.path());
            if (top.size() == 1 && fs::is_directory(fs::symlink_status(top[0], error)) && holdsApp(top[0]))
                bundle = top[0].string();
        }
        if (!bundle) refused = "The update does not hold the app.";
        // Checked again with every link known, as each lands once the bundle is in its place.
        const std::size_t floor = bundle && *bundle != into ? 1 : 0;
        for (const auto& [link, target] : links)
            if (refused.empty() && !leadsInside(link, target, links, floor))
                refused = "The update archive has a link outside its folder.";
    }
    if (refused.empty()) return *bundle;
    fs::remove_all(into, error);
    return Outcome<std::string>::refused(refused);
}

} // namespace corvane::update
