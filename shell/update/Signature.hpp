#pragma once

#include <array>
#include <string>

namespace corvane::update {

// Whether `signature` (base64) is the Ed25519 signature of the whole file at `path` under `publicKey`.
bool verifyFile(const std::string& path, const std::string& signature, const std::array<unsigned char, 32>& publicKey);

} // namespace corvane::update
