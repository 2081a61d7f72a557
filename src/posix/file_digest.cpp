// The digest of a whole file, for telling numbered copies that hold the
// same data (Previous Versions): SHA-256 through OpenSSL, read a megabyte at
// a time, and kept while the file stays the same.
#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

#include "host/host_files.h"
#include "posix/files.h"

namespace posix {

std::optional<std::string> PosixFiles::ContentDigest(const std::string& Path) {
    const std::string host = paths_.ToHost(Path);
    host::Fd file(open(host.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat st{};
    if (!file || fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    const auto key = std::make_tuple(st.st_dev, st.st_ino, st.st_size, static_cast<int64_t>(st.st_mtim.tv_sec),
                                     st.st_mtim.tv_nsec);
    {
        const std::lock_guard<std::mutex> lock(digestsLock_);
        if (const auto known = digests_.find(key); known != digests_.end()) return known->second;
    }
    const std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) return std::nullopt;
    std::vector<unsigned char> buffer(1 << 20);
    off_t read = 0;
    for (;;) {
        const ssize_t got = ::read(file.get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return std::nullopt;
        if (got == 0) break;
        read += got;
        if (EVP_DigestUpdate(context.get(), buffer.data(), static_cast<size_t>(got)) != 1) return std::nullopt;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    // A file that changed while it was read has no one digest.
    struct stat after{};
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1 || fstat(file.get(), &after) != 0 ||
        read != st.st_size || after.st_size != st.st_size || after.st_mtim.tv_sec != st.st_mtim.tv_sec ||
        after.st_mtim.tv_nsec != st.st_mtim.tv_nsec)
        return std::nullopt;
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 0xF];
    }
    const std::lock_guard<std::mutex> lock(digestsLock_);
    digests_[key] = hex;
    return hex;
}

}  // namespace posix
