#include "wine/registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>

#include "host/host_files.h"
#include "vb/casefold.h"

namespace wine {

namespace {


// UTF-16 code units to UTF-8; a surrogate without its partner becomes U+FFFD.
std::string Utf16ToUtf8(const std::u16string& units) {
    std::string out;
    for (size_t i = 0; i < units.size(); ++i) {
        char32_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        vb::AppendUtf8(out, c);
    }
    return out;
}

// Appends the UTF-16 code units of one UTF-8 character at text[i] (files
// edited by hand may hold UTF-8 as it is); an invalid byte gives U+FFFD.
void AppendRawCharacter(std::u16string& out, std::string_view text, size_t& i) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    int length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    bool valid = length > 0 && i + length <= text.size();
    for (int k = 1; valid && k < length; ++k) {
        unsigned char next = static_cast<unsigned char>(text[i + k]);
        valid = (next & 0xC0) == 0x80;
        c = (c << 6) | (next & 0x3F);
    }
    if (!valid || c > 0x10FFFF) {
        out += u'\uFFFD';
        ++i;
        return;
    }
    i += length;
    if (c >= 0x10000) {
        out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
        out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
        out += static_cast<char16_t>(c);
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads escaped text from line[pos] up to the unescaped terminator, leaving
// pos just past it. nullopt when the terminator never comes.
std::optional<std::string> ParseEscaped(std::string_view line, size_t& pos, char terminator) {
    std::u16string units;
    while (pos < line.size()) {
        char c = line[pos];
        if (c == terminator) {
            ++pos;
            return Utf16ToUtf8(units);
        }
        if (c != '\\') {
            AppendRawCharacter(units, line, pos);
            continue;
        }
        if (++pos >= line.size()) break;
        c = line[pos++];
        switch (c) {
            case 'a': units += u'\a'; break;
            case 'b': units += u'\b'; break;
            case 'e': units += u'\x1b'; break;
            case 'f': units += u'\f'; break;
            case 'n': units += u'\n'; break;
            case 'r': units += u'\r'; break;
            case 't': units += u'\t'; break;
            case 'v': units += u'\v'; break;
            case 'x': {
                char32_t unit = 0;
                int digits = 0;
                for (; digits < 4 && pos < line.size() && HexDigit(line[pos]) >= 0; ++digits, ++pos)
                    unit = unit * 16 + static_cast<char32_t>(HexDigit(line[pos]));
                units += digits ? static_cast<char16_t>(unit) : u'x';
                break;
            }
            default:
                if (c >= '0' && c <= '7') {
                    char32_t unit = static_cast<char32_t>(c - '0');
                    for (int digits = 1; digits < 3 && pos < line.size() && line[pos] >= '0' && line[pos] <= '7';
                         ++digits, ++pos)
                        unit = unit * 8 + static_cast<char32_t>(line[pos] - '0');
                    units += static_cast<char16_t>(unit);
                } else {
                    units += static_cast<char16_t>(static_cast<unsigned char>(c));  // \\ \" \[ \]
                }
        }
    }
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> ParseHexBytes(std::string_view data) {
    std::vector<uint8_t> bytes;
    size_t i = 0;
    auto skipBlanks = [&] {
        while (i < data.size() && std::isspace(static_cast<unsigned char>(data[i]))) ++i;
    };
    skipBlanks();
    while (i < data.size()) {
        if (i + 1 >= data.size() || HexDigit(data[i]) < 0 || HexDigit(data[i + 1]) < 0) return std::nullopt;
        bytes.push_back(static_cast<uint8_t>(HexDigit(data[i]) * 16 + HexDigit(data[i + 1])));
        i += 2;
        skipBlanks();
        if (i < data.size() && data[i] == ',') ++i;
        skipBlanks();
    }
    return bytes;
}

// Text stored as UTF-16LE bytes (hex(1), hex(2), hex(7)), without its
// terminating nulls.
std::string TextFromUtf16Bytes(const std::vector<uint8_t>& bytes) {
    std::u16string units;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        units += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    while (!units.empty() && units.back() == u'\0') units.pop_back();
    return Utf16ToUtf8(units);
}

std::optional<RegistryValue> ParseData(std::string_view data) {
    RegistryValue value;
    size_t pos = 0;
    if (data.starts_with("\"")) {
        pos = 1;
        value.type = 1;
        auto text = ParseEscaped(data, pos, '"');
        if (!text) return std::nullopt;
        value.text = *text;
        return value;
    }
    if (data.starts_with("str(")) {
        size_t close = data.find("):\"");
        if (close == std::string_view::npos) return std::nullopt;
        value.type = static_cast<uint32_t>(std::strtoul(std::string(data.substr(4, close - 4)).c_str(), nullptr, 16));
        pos = close + 3;
        auto text = ParseEscaped(data, pos, '"');
        if (!text) return std::nullopt;
        value.text = *text;
        return value;
    }
    if (data.starts_with("dword:")) {
        value.type = 4;
        std::string digits(data.substr(6));
        char* end = nullptr;
        value.dword = static_cast<uint32_t>(std::strtoul(digits.c_str(), &end, 16));
        if (end == digits.c_str()) return std::nullopt;
        return value;
    }
    if (data.starts_with("hex")) {
        size_t colon = data.find(':');
        if (colon == std::string_view::npos) return std::nullopt;
        std::string_view type = data.substr(3, colon - 3);
        value.type = 3;
        if (type.size() > 2 && type.front() == '(' && type.back() == ')')
            value.type = static_cast<uint32_t>(std::strtoul(std::string(type.substr(1, type.size() - 2)).c_str(), nullptr, 16));
        else if (!type.empty())
            return std::nullopt;
        auto bytes = ParseHexBytes(data.substr(colon + 1));
        if (!bytes) return std::nullopt;
        value.bytes = std::move(*bytes);
        if (value.type == 1 || value.type == 2 || value.type == 7) value.text = TextFromUtf16Bytes(value.bytes);
        if (value.type == 4 && value.bytes.size() == 4)
            value.dword = value.bytes[0] | value.bytes[1] << 8 | value.bytes[2] << 16 | static_cast<uint32_t>(value.bytes[3]) << 24;
        return value;
    }
    return std::nullopt;
}

}  // namespace

WineRegistry WineRegistry::Parse(std::string_view text) {
    WineRegistry registry;
    std::map<std::u32string, RegistryValue>* current = nullptr;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string line(text.substr(start, end - start));
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // Hex data goes on over lines that end in a backslash.
        while (!line.empty() && line.back() == '\\' && line[0] != '[' && start < text.size()) {
            line.pop_back();
            end = text.find('\n', start);
            if (end == std::string_view::npos) end = text.size();
            std::string_view next = text.substr(start, end - start);
            start = end + 1;
            size_t first = next.find_first_not_of(" \t");
            if (first != std::string_view::npos) line.append(next.substr(first));
            if (!line.empty() && line.back() == '\r') line.pop_back();
        }

        if (line.starts_with("#arch=")) {
            if (!current) registry.arch_ = line.substr(6);
            continue;
        }
        if (line.starts_with("[")) {
            size_t pos = 1;
            auto key = ParseEscaped(line, pos, ']');
            current = key ? &registry.keys_[vb::FoldCase(*key)] : nullptr;
            continue;
        }
        if (!current || line.empty()) continue;
        std::optional<std::string> name;
        size_t pos = 0;
        if (line[0] == '@') {
            name = "";
            pos = 1;
        } else if (line[0] == '"') {
            pos = 1;
            name = ParseEscaped(line, pos, '"');
        }
        if (!name || pos >= line.size() || line[pos] != '=') continue;
        if (auto value = ParseData(std::string_view(line).substr(pos + 1))) (*current)[vb::FoldCase(*name)] = std::move(*value);
    }
    return registry;
}

WineRegistry WineRegistry::Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return Parse(text);
}

std::shared_ptr<const WineRegistry> WineRegistry::Shared(const std::string& path) {
    // What identifies one version of a file: a rewrite in place changes its
    // times, a replacement its inode.
    struct Version {
        dev_t device;
        ino_t inode;
        off_t size;
        timespec modified, changed;
        bool operator==(const Version& o) const {
            return device == o.device && inode == o.inode && size == o.size &&
                   modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec &&
                   changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec;
        }
    };
    struct Parsed {
        Version version;
        std::shared_ptr<const WineRegistry> registry;
    };
    static std::mutex lock;
    static std::map<std::string, Parsed> parsed;

    auto versionOf = [](const struct stat& st) {
        return Version{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
    };
    struct stat st{};
    if (stat(path.c_str(), &st) == 0) {
        const std::lock_guard<std::mutex> guard(lock);
        const auto found = parsed.find(path);
        if (found != parsed.end() && found->second.version == versionOf(st)) return found->second.registry;
    }
    // The text and the version it is kept under come from one open file, so
    // that a file replaced meanwhile is never kept under the other's version.
    host::Fd file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));  // a FIFO never blocks
    if (!file || fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        const std::lock_guard<std::mutex> guard(lock);
        parsed.erase(path);
        return std::make_shared<const WineRegistry>();
    }
    const Version version = versionOf(st);
    std::string text;
    char buffer[65536];
    for (ssize_t n; (n = read(file.get(), buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::make_shared<const WineRegistry>();
        text.append(buffer, static_cast<size_t>(n));
    }
    auto registry = std::make_shared<const WineRegistry>(Parse(text));
    const std::lock_guard<std::mutex> guard(lock);
    parsed[path] = Parsed{version, registry};
    return registry;
}

const RegistryValue* WineRegistry::Find(std::string_view key, std::string_view name) const {
    auto k = keys_.find(vb::FoldCase(key));
    if (k == keys_.end()) return nullptr;
    auto v = k->second.find(vb::FoldCase(name));
    return v == k->second.end() ? nullptr : &v->second;
}

std::optional<std::string> WineRegistry::String(std::string_view key, std::string_view name) const {
    const RegistryValue* value = Find(key, name);
    if (!value || !value->IsString()) return std::nullopt;
    return value->text;
}

}  // namespace wine
