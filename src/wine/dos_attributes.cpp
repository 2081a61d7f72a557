#include "wine/dos_attributes.h"

#include <sys/xattr.h>

#include <cstdlib>

namespace wine {

bool HiddenOrSystem(const std::string& hostPath) {
    constexpr long kHidden = 0x2;
    constexpr long kSystem = 0x4;
    char data[65];
    ssize_t length = getxattr(hostPath.c_str(), "user.DOSATTRIB", data, sizeof data - 1);
    if (length <= 2 || data[0] != '0' || data[1] != 'x') return false;
    data[length] = '\0';
    char* end = nullptr;
    long attributes = std::strtol(data, &end, 16);
    return *end == '\0' && (attributes & (kHidden | kSystem)) != 0;
}

}  // namespace wine
