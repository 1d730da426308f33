// corvane-release: the release side of the updater (keys, archive signatures, feed items).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <glib.h>
#include <sodium.h>
#include <unistd.h>

namespace {

constexpr const char* kHelp = R"(usage: corvane-release COMMAND [ARGS]

  keygen FILE                    writes a new private key to FILE (mode 0600; never over an existing
                                 file) and prints the base64 public key for CORVANE_UPDATE_PUBLIC_KEY
  sign ARCHIVE --key FILE        prints sparkle:edSignature="BASE64" length="BYTES" for the archive
  item ARCHIVE --key FILE --version VERSION --url URL [--short-version TEXT] [--title TEXT]
       [--notes-url URL | --description HTML]
                                 prints the feed <item> for the archive (Linux enclosure); VERSION
                                 must be the one the archive's share/corvane/version holds
)";

struct Failure {
    std::string message;
    int status = 1;
};

std::string base64(const unsigned char* data, std::size_t size) {
    std::string out(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(out.data(), out.size(), data, size, sodium_base64_VARIANT_ORIGINAL);
    out.resize(std::strlen(out.c_str()));
    return out;
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Failure{"cannot read " + path};
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

// The key file holds the base64 32-byte seed of the Ed25519 key pair.
void keyPair(const std::string& path, unsigned char pk[crypto_sign_PUBLICKEYBYTES],
             unsigned char sk[crypto_sign_SECRETKEYBYTES]) {
    std::string text = readAll(path);
    unsigned char seed[crypto_sign_SEEDBYTES];
    std::size_t length = 0;
    if (sodium_base642bin(seed, sizeof seed, text.data(), text.size(), " \t\r\n", &length, nullptr,
                          sodium_base64_VARIANT_ORIGINAL) != 0 ||
        length != sizeof seed)
        throw Failure{path + " is not a corvane-release key"};
    crypto_sign_seed_keypair(pk, sk, seed);
    sodium_memzero(seed, sizeof seed);
}

std::string keygen(const std::string& path) {
    unsigned char pk[crypto_sign_PUBLICKEYBYTES], sk[crypto_sign_SECRETKEYBYTES], seed[crypto_sign_SEEDBYTES];
    randombytes_buf(seed, sizeof seed);
    crypto_sign_seed_keypair(pk, sk, seed);
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) throw Failure{"cannot create " + path + ": " + std::strerror(errno)};
    const std::string text = base64(seed, sizeof seed) + "\n";
    const bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && fsync(fd) == 0;
    close(fd);
    sodium_memzero(seed, sizeof seed);
    sodium_memzero(sk, sizeof sk);
    if (!ok) {
        unlink(path.c_str());
        throw Failure{"cannot write " + path};
    }
    return base64(pk, sizeof pk);
}

struct Signed {
    std::string signature;
    std::size_t length;
};

Signed sign(const std::string& archive, const std::string& keyFile) {
    unsigned char pk[crypto_sign_PUBLICKEYBYTES], sk[crypto_sign_SECRETKEYBYTES], sig[crypto_sign_BYTES];
    keyPair(keyFile, pk, sk);
    const std::string bytes = readAll(archive);
    crypto_sign_detached(sig, nullptr, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), sk);
    sodium_memzero(sk, sizeof sk);
    return {base64(sig, sizeof sig), bytes.size()};
}

// The bundle's share/corvane/version inside the archive (at its top or in its one top folder): the app
// installs an update only when that is the version the feed gives.
std::optional<std::string> archivedVersion(const std::string& path) {
    archive* a = archive_read_new();
    archive_read_support_filter_all(a);
    archive_read_support_format_all(a);
    std::optional<std::string> version;
    if (archive_read_open_filename(a, path.c_str(), 1 << 16) == ARCHIVE_OK) {
        archive_entry* entry = nullptr;
        while (!version && archive_read_next_header(a, &entry) == ARCHIVE_OK) {
            std::string name = archive_entry_pathname(entry) ? archive_entry_pathname(entry) : "";
            if (name.starts_with("./")) name.erase(0, 2);
            const auto slash = name.find('/');
            const bool match = name == "share/corvane/version" ||
                               (slash != std::string::npos && name.substr(slash + 1) == "share/corvane/version");
            if (!match || archive_entry_filetype(entry) != AE_IFREG) continue;
            std::string text(64, '\0');
            const auto got = archive_read_data(a, text.data(), text.size());
            text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
            version = text;
        }
    }
    archive_read_free(a);
    return version;
}

std::string escape(const std::string& text) {
    gchar* escaped = g_markup_escape_text(text.c_str(), -1);
    std::string out = escaped;
    g_free(escaped);
    return out;
}

std::string rfc822Now() {
    char buffer[64];
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    static const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::snprintf(buffer, sizeof buffer, "%s, %02d %s %04d %02d:%02d:%02d +0000", days[utc.tm_wday], utc.tm_mday,
                  months[utc.tm_mon], utc.tm_year + 1900, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return buffer;
}

struct Args {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;
    Args(int argc, char** argv, const std::vector<std::string>& known) {
        for (int i = 2; i < argc; ++i) {
            std::string word = argv[i];
            if (!word.starts_with("--")) {
                positional.push_back(word);
                continue;
            }
            bool ok = false;
            for (const auto& k : known) ok = ok || k == word;
            if (!ok) throw Failure{"unknown option " + word, 2};
            if (i + 1 >= argc) throw Failure{word + " needs a value", 2};
            if (options.count(word)) throw Failure{word + " given twice", 2};
            options[word] = argv[++i];
        }
    }
    const std::string& only(const char* what) const {
        if (positional.size() != 1) throw Failure{std::string("expected one ") + what, 2};
        return positional[0];
    }
    const std::string& need(const std::string& name) const {
        auto it = options.find(name);
        if (it == options.end()) throw Failure{name + " is required", 2};
        return it->second;
    }
    std::optional<std::string> maybe(const std::string& name) const {
        auto it = options.find(name);
        return it == options.end() ? std::nullopt : std::optional(it->second);
    }
};

std::string run(const std::string& command, int argc, char** argv) {
    if (command == "keygen") return keygen(Args(argc, argv, {}).only("FILE"));
    if (command == "sign") {
        Args a(argc, argv, {"--key"});
        auto s = sign(a.only("ARCHIVE"), a.need("--key"));
        return "sparkle:edSignature=\"" + s.signature + "\" length=\"" + std::to_string(s.length) + "\"";
    }
    if (command == "item") {
        Args a(argc, argv,
               {"--key", "--version", "--url", "--short-version", "--title", "--notes-url", "--description"});
        const std::string& url = a.need("--url");
        if (!url.starts_with("https://")) throw Failure{"--url must be https", 2};
        if (a.maybe("--notes-url") && a.maybe("--description"))
            throw Failure{"give --notes-url or --description, not both", 2};
        const std::string version = a.need("--version");
        const auto archived = archivedVersion(a.only("ARCHIVE"));
        if (!archived) throw Failure{a.only("ARCHIVE") + " holds no share/corvane/version"};
        if (*archived != version)
            throw Failure{"the archive is version " + *archived + ", not " + version + " (share/corvane/version)"};
        const std::string shortVersion = a.maybe("--short-version").value_or(version);
        auto s = sign(a.only("ARCHIVE"), a.need("--key"));
        std::string out = "<item>\n";
        out += "  <title>" + escape(a.maybe("--title").value_or("Version " + shortVersion)) + "</title>\n";
        out += "  <pubDate>" + rfc822Now() + "</pubDate>\n";
        out += "  <sparkle:version>" + escape(version) + "</sparkle:version>\n";
        out += "  <sparkle:shortVersionString>" + escape(shortVersion) + "</sparkle:shortVersionString>\n";
        if (auto notes = a.maybe("--notes-url"))
            out += "  <sparkle:releaseNotesLink>" + escape(*notes) + "</sparkle:releaseNotesLink>\n";
        if (auto html = a.maybe("--description")) out += "  <description>" + escape(*html) + "</description>\n";
        out += "  <enclosure url=\"" + escape(url) + "\" sparkle:os=\"linux\" length=\"" + std::to_string(s.length) +
               "\" type=\"application/x-xz\" sparkle:edSignature=\"" + s.signature + "\"/>\n";
        out += "</item>";
        return out;
    }
    throw Failure{"unknown command " + command, 2};
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << kHelp;
        return 2;
    }
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kHelp;
        return 0;
    }
    if (sodium_init() < 0) return 1;
    try {
        std::cout << run(command, argc, argv) << "\n";
        return 0;
    } catch (const Failure& failure) {
        std::cerr << "corvane-release: " << failure.message << "\n";
        return failure.status;
    }
}
