// What happens to an update archive between the download and the swap: signature, unpacking, install.
#include <filesystem>
#include <fstream>

#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>
#include <sodium.h>

#include "Config.hpp"
#include "Feed.hpp"
#include "Install.hpp"
#include "Signature.hpp"
#include "TempFolder.hpp"
#include "Unpack.hpp"

namespace corvane::update {
namespace {

namespace fs = std::filesystem;

struct Entry {
    Entry(std::string p, char k, std::string c = "", int m = 0644)
        : path(std::move(p)), kind(k), content(std::move(c)), mode(m) {}
    std::string path;
    char kind;           // f file, s sparse file, d folder, l link, h hard link, c character device, p fifo
    std::string content; // file data, or the link's target
    int mode;
};

// A .tar.xz as a release script would make it.
std::string tarXz(const fs::path& at, const std::vector<Entry>& entries) {
    archive* a = archive_write_new();
    archive_write_add_filter_xz(a);
    archive_write_set_format_pax_restricted(a);
    archive_write_open_filename(a, at.c_str());
    for (const auto& e : entries) {
        archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, e.path.c_str());
        archive_entry_set_perm(entry, e.mode);
        switch (e.kind) {
            case 'f':
                archive_entry_set_filetype(entry, AE_IFREG);
                archive_entry_set_size(entry, la_int64_t(e.content.size()));
                break;
            case 'd':
                archive_entry_set_filetype(entry, AE_IFDIR);
                break;
            case 'l':
                archive_entry_set_filetype(entry, AE_IFLNK);
                archive_entry_set_symlink(entry, e.content.c_str());
                break;
            case 'h':
                archive_entry_set_filetype(entry, AE_IFREG);
                archive_entry_set_hardlink(entry, e.content.c_str());
                break;
            case 'c':
                archive_entry_set_filetype(entry, AE_IFCHR);
                archive_entry_set_rdev(entry, 0x0103);
                break;
            case 'p':
                archive_entry_set_filetype(entry, AE_IFIFO);
                break;
            case 's': // 100 GiB of which only the content is data
                archive_entry_set_filetype(entry, AE_IFREG);
                archive_entry_set_size(entry, la_int64_t(100) << 30);
                archive_entry_sparse_add_entry(entry, 0, la_int64_t(e.content.size()));
                break;
        }
        archive_write_header(a, entry);
        if (e.kind == 'f' || e.kind == 's') archive_write_data(a, e.content.data(), e.content.size());
        archive_entry_free(entry);
    }
    archive_write_close(a);
    archive_write_free(a);
    return at.string();
}

std::vector<std::string> listing(const fs::path& root) {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root)) out.push_back(fs::relative(e.path(), root).string());
    std::sort(out.begin(), out.end());
    return out;
}

const Entry kApp{"Corvane/bin/corvane", 'f', "#!/bin/sh\necho new\n", 0755};

TEST(Unpack, RefusesWhatCouldReachOutsideTheStagingFolder) {
    struct Case {
        const char* what;
        std::vector<Entry> entries;
        const char* refusal; // empty: unpacked
    };
    const std::vector<Case> cases{
        {"a bundle with folders, links inside and a hard link",
         {{"Corvane/", 'd'},
          {"Corvane/bin/", 'd'},
          kApp,
          {"Corvane/lib/corvane/x.so", 'f', "elf", 0755},
          {"Corvane/share/x.so", 'l', "../lib/corvane/x.so"},
          {"Corvane/bin/again", 'h', "Corvane/bin/corvane"}},
         ""},
        {"the bundle at the top", {{"bin/corvane", 'f', "x", 0755}}, ""},
        {"an absolute path", {kApp, {"/tmp/corvane-evil", 'f', "x"}}, "outside"},
        {"a climbing path", {kApp, {"Corvane/../../corvane-evil", 'f', "x"}}, "outside"},
        {"a climbing path hidden mid-way", {kApp, {"Corvane/bin/../../../x", 'f', "x"}}, "outside"},
        {"a link out of the folder", {kApp, {"Corvane/etc", 'l', "../../../etc"}}, "link outside"},
        {"an absolute link", {kApp, {"Corvane/etc", 'l', "/etc"}}, "link outside"},
        {"a file written through a link",
         {kApp, {"Corvane/up", 'l', "bin"}, {"Corvane/up/x", 'f', "x"}},
         "through a link"},
        {"a hard link to something outside", {kApp, {"Corvane/passwd", 'h', "../etc/passwd"}}, "link outside"},
        {"a hard link through a chain of links, then a file through it",
         {kApp,
          {"Corvane/d/e/", 'd'},
          {"Corvane/d/e/s", 'l', "../../.."},
          {"Corvane/x", 'l', "d/e"},
          {"Corvane/h", 'h', "Corvane/x/s"},
          {"Corvane/h/.profile", 'f', "echo owned"}},
         "link outside"},
        {"a hard link to a link",
         {kApp, {"Corvane/l", 'l', "bin/corvane"}, {"Corvane/h", 'h', "Corvane/l"}},
         "link outside"},
        {"a link through a link that climbs",
         {kApp, {"Corvane/a/", 'd'}, {"Corvane/a/l", 'l', ".."}, {"Corvane/share", 'l', "a/l/.."}},
         "link outside"},
        {"the same, the climbing link written last",
         {kApp, {"Corvane/a/", 'd'}, {"Corvane/share", 'l', "a/l/.."}, {"Corvane/a/l", 'l', ".."}},
         "link outside"},
        {"a link out of the bundle's folder but inside the staging folder",
         {kApp, {"Corvane/up", 'l', "../beside"}},
         "link outside"},
        {"a sparse file of 100 GiB", {kApp, {"Corvane/huge", 's', "x"}}, "too large"},
        {"a device", {kApp, {"Corvane/null", 'c'}}, "device"},
        {"a fifo", {kApp, {"Corvane/pipe", 'p'}}, "device"},
        {"no app in it", {{"Corvane/bin/other", 'f', "x", 0755}}, "does not hold"},
        {"an app that cannot run", {{"Corvane/bin/corvane", 'f', "x", 0644}}, "does not hold"},
        {"two top folders", {kApp, {"Other/bin/corvane", 'f', "x", 0755}}, "does not hold"},
    };
    TempFolder work("unpack");
    for (const auto& c : cases) {
        const std::string archive = tarXz(work.path / "u.tar.xz", c.entries);
        const fs::path into = work.path / ".staged";
        auto result = unpack(archive, into.string());
        if (*c.refusal == '\0') {
            ASSERT_TRUE(result) << c.what << ": " << result.reason();
            EXPECT_TRUE(fs::is_regular_file(fs::path(result.value()) / "bin/corvane")) << c.what;
            fs::remove_all(into);
        } else {
            EXPECT_FALSE(result) << c.what;
            EXPECT_NE(result.reason().find(c.refusal), std::string::npos) << c.what << ": " << result.reason();
            EXPECT_FALSE(fs::exists(into)) << c.what;
        }
        EXPECT_EQ(listing(work.path), std::vector<std::string>{"u.tar.xz"}) << c.what;
    }
    EXPECT_FALSE(fs::exists("/tmp/corvane-evil"));
    std::ofstream(work.path / "junk.tar.xz") << "not an archive";
    EXPECT_FALSE(unpack((work.path / "junk.tar.xz").string(), (work.path / ".s").string()));
}

TEST(Signature, OnlyTheUntouchedArchiveUnderOurKeyVerifies) {
    ASSERT_GE(sodium_init(), 0);
    std::array<unsigned char, 32> pk{}, otherPk{};
    unsigned char sk[crypto_sign_SECRETKEYBYTES], otherSk[crypto_sign_SECRETKEYBYTES];
    crypto_sign_keypair(pk.data(), sk);
    crypto_sign_keypair(otherPk.data(), otherSk);
    TempFolder work("signature");
    const std::string file = tarXz(work.path / "a.tar.xz", {kApp});
    std::ifstream in(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    auto sign = [&](const unsigned char* key) {
        unsigned char sig[crypto_sign_BYTES];
        crypto_sign_detached(sig, nullptr, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), key);
        char b64[sodium_base64_ENCODED_LEN(crypto_sign_BYTES, sodium_base64_VARIANT_ORIGINAL)];
        sodium_bin2base64(b64, sizeof b64, sig, sizeof sig, sodium_base64_VARIANT_ORIGINAL);
        return std::string(b64);
    };
    const std::string good = sign(sk);
    EXPECT_TRUE(verifyFile(file, good, pk));
    EXPECT_FALSE(verifyFile(file, sign(otherSk), pk));
    EXPECT_FALSE(verifyFile(file, good, otherPk));
    EXPECT_FALSE(verifyFile(file, good.substr(0, 40), pk));
    EXPECT_FALSE(verifyFile(file, "not base64 at all!", pk));
    EXPECT_FALSE(verifyFile((work.path / "missing").string(), good, pk));
    bytes[bytes.size() / 2] ^= 1;
    std::ofstream(file, std::ios::binary) << bytes;
    EXPECT_FALSE(verifyFile(file, good, pk));
}

TEST(Install, PackageManagedCopiesAreNotUpdatedByTheApp) {
    TempFolder work("placement");
    fs::create_directories(work.path / "Corvane/bin");
    std::ofstream(work.path / "Corvane/bin/corvane") << "x";
    fs::create_directories(work.path / "flat");
    std::ofstream(work.path / "flat/corvane") << "x";
    EXPECT_EQ(updatableBundle((work.path / "Corvane/bin/corvane").string()), (work.path / "Corvane").string());
    EXPECT_FALSE(updatableBundle((work.path / "flat/corvane").string()));
    EXPECT_FALSE(updatableBundle("/usr/bin/sh"));
    EXPECT_FALSE(updatableBundle((work.path / "Corvane/bin/missing").string()));
}

} // namespace
} // namespace corvane::update

namespace corvane::update {
namespace {

std::string run(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    EXPECT_EQ(pclose(pipe), 0) << command;
    return out;
}

// What the release tool prints is what the app reads and verifies.
TEST(ReleaseTool, ItsItemsAndSignaturesAreWhatTheAppAccepts) {
    TempFolder work("release");
    const std::string tool = CORVANE_RELEASE_TOOL, key = (work.path / "release.key").string();
    const std::string publicKey = run("'" + tool + "' keygen '" + key + "'");
    EXPECT_EQ(fs::status(key).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_NE(std::system(("'" + tool + "' keygen '" + key + "' 2>/dev/null").c_str()), 0); // never over a key
    const std::string archive =
        tarXz(work.path / "Corvane 2.tar.xz", {kApp, {"Corvane/share/corvane/version", 'f', "2.0\n"}});
    const std::string signLine = run("'" + tool + "' sign '" + archive + "' --key '" + key + "'");
    EXPECT_EQ(signLine.substr(signLine.find(" length=")),
              " length=\"" + std::to_string(fs::file_size(archive)) + "\"\n");

    const std::string item =
        run("'" + tool + "' item '" + archive + "' --key '" + key +
            "' --version 2.0 --url 'https://corvane.example/u?a=1&b=2' --description '<p>Fixes & more</p>'");
    // An item whose version is not the archive's would be refused by every app that reads it.
    EXPECT_NE(std::system(("'" + tool + "' item '" + archive + "' --key '" + key +
                           "' --version 2.1 --url https://corvane.example/u 2>/dev/null")
                              .c_str()),
              0);
    auto items = parseFeed("<rss xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\"><channel>" +
                           item + "</channel></rss>");
    ASSERT_TRUE(items);
    ASSERT_EQ(items->size(), 1u);
    const FeedItem& got = items->front();
    EXPECT_EQ(got.url, "https://corvane.example/u?a=1&b=2");
    EXPECT_EQ(got.description, "<p>Fixes & more</p>");
    EXPECT_EQ(got.length, fs::file_size(archive));
    EXPECT_NE(signLine.find(got.signature), std::string::npos);
    auto config = decodeBase64(publicKey.substr(0, publicKey.size() - 1), 32);
    ASSERT_TRUE(config);
    std::array<unsigned char, 32> pk{};
    std::copy(config->begin(), config->end(), pk.begin());
    EXPECT_TRUE(verifyFile(archive, got.signature, pk));
}

} // namespace
} // namespace corvane::update
