#include "Config.hpp"

#include <filesystem>
#include <memory>

#include <glib.h>
#include <sodium.h>
#include <unistd.h>

namespace corvane::update {

namespace fs = std::filesystem;

std::optional<std::string> decodeBase64(const std::string& text, std::size_t size) {
    if (sodium_init() < 0) return std::nullopt;
    std::string out(size + 1, '\0');
    std::size_t length = 0;
    const char* end = nullptr;
    if (sodium_base642bin(reinterpret_cast<unsigned char*>(out.data()), out.size(), text.data(), text.size(), " \t\r\n",
                          &length, &end, sodium_base64_VARIANT_ORIGINAL) != 0 ||
        end != text.data() + text.size() || length != size)
        return std::nullopt;
    out.resize(size);
    return out;
}

std::optional<Config> readConfig(const std::string& bundle) {
    const std::string path = bundle + "/share/corvane/updates.ini";
    std::unique_ptr<GKeyFile, decltype(&g_key_file_free)> file(g_key_file_new(), g_key_file_free);
    if (!g_key_file_load_from_file(file.get(), path.c_str(), G_KEY_FILE_NONE, nullptr)) return std::nullopt;
    auto value = [&](const char* key) {
        gchar* v = g_key_file_get_string(file.get(), "Updates", key, nullptr);
        std::string out = v ? v : "";
        g_free(v);
        return out;
    };
    Config config;
    config.feedURL = value("FeedURL");
    if (!config.feedURL.starts_with("https://") || config.feedURL.size() <= 8) return std::nullopt;
    auto key = decodeBase64(value("PublicKey"), config.publicKey.size());
    if (!key) return std::nullopt;
    std::copy(key->begin(), key->end(), config.publicKey.begin());
    const std::string interval = value("Interval");
    if (!interval.empty()) {
        gchar* end = nullptr;
        const guint64 seconds = g_ascii_strtoull(interval.c_str(), &end, 10);
        if (end && *end == '\0')
            config.interval =
                std::max(kMinimumInterval, std::chrono::seconds(std::min<guint64>(seconds, 365ull * 86400)));
    }
    return config;
}

std::optional<std::string> updatableBundle(const std::string& exe) {
    if (g_getenv("FLATPAK_ID") || g_getenv("SNAP") || g_file_test("/.flatpak-info", G_FILE_TEST_EXISTS))
        return std::nullopt;
    std::error_code error;
    const fs::path binary = fs::canonical(exe, error);
    if (error || binary.parent_path().filename() != "bin") return std::nullopt;
    const fs::path bundle = binary.parent_path().parent_path();
    const std::string text = bundle.string();
    if (text == "/usr" || text.starts_with("/usr/")) return std::nullopt;
    // The swap renames the bundle inside its folder and writes the staged copy beside it.
    if (access(text.c_str(), W_OK) != 0 || access(bundle.parent_path().c_str(), W_OK) != 0) return std::nullopt;
    return text;
}

} // namespace corvane::update
