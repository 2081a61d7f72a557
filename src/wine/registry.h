// Wine's registry files (system.reg, user.reg) read as text. Wine saves
// them as:
//
//   WINE REGISTRY Version 2
//   ;; All keys relative to \\User\\S-1-5-21-...
//   #arch=win64
//
//   [Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders] 1700000000
//   #time=1da0b1c2d3e4f50
//   "Personal"="C:\\users\\me\\Documents"
//   "Cache"=str(2):"%USERPROFILE%\\AppData\\Local\\Microsoft\\Windows\\INetCache"
//   "Flags"=dword:00000001
//   "Blob"=hex:01,02,03,04,05
//
// Long hex data goes on over lines ending in a backslash.
// Names and strings escape "\\", "\"" and control characters C-style, and
// every character beyond ASCII as \x followed by up to four hex digits of a
// UTF-16 code unit. Key and value names compare without regard to case.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wine {

struct RegistryValue {
    // The Windows value type: 1 REG_SZ, 2 REG_EXPAND_SZ, 3 REG_BINARY,
    // 4 REG_DWORD, 7 REG_MULTI_SZ, ...
    uint32_t type = 0;
    std::string text;            // REG_SZ / REG_EXPAND_SZ / REG_MULTI_SZ as UTF-8 (unexpanded)
    uint32_t dword = 0;          // REG_DWORD
    std::vector<uint8_t> bytes;  // the data of hex(...) values as stored

    bool IsString() const { return type == 1 || type == 2; }
};

class WineRegistry {
public:
    // Reads registry text; lines it does not understand are passed over, so
    // a damaged file still gives whatever it holds.
    static WineRegistry Parse(std::string_view text);

    // The registry in a file; empty when the file cannot be read.
    static WineRegistry Load(const std::string& path);

    // The same, parsed once for the life of the process while the file
    // stays the same file with the same size and times (Wine saves a
    // registry by writing a new file and renaming it over the old one): a
    // discovery asks user.reg once for every special folder of every path
    // it builds. Each call looks at the file again. Safe from any thread.
    static std::shared_ptr<const WineRegistry> Shared(const std::string& path);

    // "win64", "win32", or empty when the file does not say.
    const std::string& Arch() const { return arch_; }

    // key: the path with single backslashes, as in the Windows API
    // ("Software\Microsoft\Windows\CurrentVersion"); name "" is the
    // default value (written "@").
    const RegistryValue* Find(std::string_view key, std::string_view name) const;

    // A REG_SZ or REG_EXPAND_SZ value's text, not expanded.
    std::optional<std::string> String(std::string_view key, std::string_view name) const;

private:
    std::string arch_;
    std::map<std::u32string, std::map<std::u32string, RegistryValue>> keys_;
};

}  // namespace wine
