#include "Signature.hpp"

#include <glib.h>
#include <sodium.h>

#include "Config.hpp"

namespace corvane::update {

bool verifyFile(const std::string& path, const std::string& signature, const std::array<unsigned char, 32>& publicKey) {
    auto raw = decodeBase64(signature, crypto_sign_BYTES);
    if (!raw) return false;
    GMappedFile* file = g_mapped_file_new(path.c_str(), FALSE, nullptr);
    if (!file) return false;
    const auto* bytes = reinterpret_cast<const unsigned char*>(g_mapped_file_get_contents(file));
    const bool ok = crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(raw->data()),
                                                bytes ? bytes : reinterpret_cast<const unsigned char*>(""),
                                                g_mapped_file_get_length(file), publicKey.data()) == 0;
    g_mapped_file_unref(file);
    return ok;
}

} // namespace corvane::update
