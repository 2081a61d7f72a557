#include "history/digest.h"

#include <openssl/evp.h>

#include <cstring>
#include <new>

namespace history {

namespace {

// Fetched once: an implicit fetch on each page would cost as much as the
// hash of a small page.
const EVP_MD* Algorithm() {
    static EVP_MD* md = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    return md;
}

}  // namespace

Sha256::Sha256() : ctx_(EVP_MD_CTX_new()) {
    if (!ctx_ || !Algorithm()) throw std::bad_alloc();
    Start();
}

Sha256::~Sha256() { EVP_MD_CTX_free(ctx_); }

void Sha256::Start() {
    if (EVP_DigestInit_ex2(ctx_, Algorithm(), nullptr) != 1) throw std::bad_alloc();
}

void Sha256::Add(const void* data, size_t size) {
    if (size > 0) EVP_DigestUpdate(ctx_, data, size);
}

Digest Sha256::Finish() {
    Digest digest{};
    unsigned int length = 0;
    EVP_DigestFinal_ex(ctx_, digest.data(), &length);
    Start();
    return digest;
}

std::string HexOf(const Digest& digest) {
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (uint8_t byte : digest) {
        text += kHex[byte >> 4];
        text += kHex[byte & 15];
    }
    return text;
}

Digest DigestOf(std::string_view blob) {
    Digest digest{};
    if (blob.size() == digest.size()) std::memcpy(digest.data(), blob.data(), digest.size());
    return digest;
}

}  // namespace history
