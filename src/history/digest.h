// The hash that names a page and checks a whole file: SHA-256 through
// OpenSSL's libcrypto (EVP), which uses the processor's SHA instructions
// where it has them. Strong enough that two different pages never share
// one, so that a page is stored once under its hash.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct evp_md_ctx_st;

namespace history {

using Digest = std::array<uint8_t, 32>;

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Add(const void* data, size_t size);
    void Add(std::string_view data) { Add(data.data(), data.size()); }
    // The hash of everything added since the last Finish; starts afresh.
    Digest Finish();

    // The hash of data alone, through this object's context.
    Digest Of(std::string_view data) {
        Add(data);
        return Finish();
    }

private:
    void Start();
    evp_md_ctx_st* ctx_;
};

// The hash as 64 lower-case hex digits.
std::string HexOf(const Digest& digest);

// The digest held in a blob of 32 bytes; all zeros for any other blob.
Digest DigestOf(std::string_view blob);

inline std::string_view BlobOf(const Digest& digest) {
    return {reinterpret_cast<const char*>(digest.data()), digest.size()};
}

}  // namespace history
