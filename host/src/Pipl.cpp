#include "Pipl.h"

namespace vhost {

namespace {

// How one list is written: the Intel form (little-endian, a leading 16-bit 1, codes reversed,
// zero-terminated entry names) or the Mac form (big-endian, no leading word, codes as they read,
// length-prefixed entry names), and the code entries whose names are the entry points.
struct Form {
    bool mac = false;
    std::vector<std::string_view> codeKeys;
};

std::uint16_t read16(const std::uint8_t* p, bool big) {
    return static_cast<std::uint16_t>(big ? (p[0] << 8) | p[1] : p[0] | (p[1] << 8));
}

std::uint32_t read32(const std::uint8_t* p, bool big) {
    const std::uint32_t hi = read16(p + (big ? 0 : 2), big), lo = read16(p + (big ? 2 : 0), big);
    return hi << 16 | lo;
}

// Four-character codes are stored back to front in the Intel form.
std::string readCode(const std::uint8_t* p, bool big) {
    if (big) return std::string(reinterpret_cast<const char*>(p), 4);
    return std::string{static_cast<char>(p[3]), static_cast<char>(p[2]), static_cast<char>(p[1]),
                       static_cast<char>(p[0])};
}

std::string printable(const std::string& code) {
    std::string out;
    for (char c : code) out += (c >= 0x20 && c < 0x7f) ? c : '?';
    return out;
}

constexpr std::size_t kIntelHeaderSize = 10;  // 16-bit marker, 32-bit version, 32-bit count
constexpr std::size_t kMacHeaderSize = 8;     // 32-bit version, 32-bit count
constexpr std::size_t kPropertyHead = 16;     // vendor, key, id, length

// A length-prefixed string: one byte n, then n characters within the value.
bool pascalString(const PiplProperty& p, std::string& out, std::string& error) {
    if (p.value.empty() || p.value[0] + std::size_t{1} > p.value.size()) {
        error = "property list: the \"" + p.key + "\" string's length byte (" +
                std::to_string(p.value.empty() ? 0 : p.value[0]) + ") runs past its value of " +
                std::to_string(p.value.size()) + " bytes";
        return false;
    }
    out.assign(reinterpret_cast<const char*>(p.value.data()) + 1, p.value[0]);
    return true;
}

bool cString(const PiplProperty& p, std::string& out, std::string& error) {
    std::size_t n = 0;
    while (n < p.value.size() && p.value[n] != 0) ++n;
    if (n == p.value.size()) {
        error = "property list: the \"" + p.key + "\" entry point name is not zero-terminated";
        return false;
    }
    out.assign(reinterpret_cast<const char*>(p.value.data()), n);
    return true;
}

bool fourBytes(const PiplProperty& p, std::string& error) {
    if (p.value.size() == 4) return true;
    error = "property list: \"" + p.key + "\" should hold 4 bytes, not " + std::to_string(p.value.size());
    return false;
}

bool word32(const PiplProperty& p, bool big, std::optional<std::uint32_t>& out, std::string& error) {
    if (!fourBytes(p, error)) return false;
    out = read32(p.value.data(), big);
    return true;
}

bool versionPair(const PiplProperty& p, bool big, std::optional<PiplVersionPair>& out, std::string& error) {
    if (!fourBytes(p, error)) return false;
    out = PiplVersionPair{read16(p.value.data(), big), read16(p.value.data() + 2, big)};
    return true;
}

// The header: the Intel form's marker 1, list version 0, and a property count the size can hold.
std::optional<std::uint32_t> readHeader(const std::uint8_t* data, std::size_t size, const Form& form,
                                        std::string& error) {
    const std::size_t headerSize = form.mac ? kMacHeaderSize : kIntelHeaderSize;
    if (!data || size < headerSize) {
        error = "property list truncated: " + std::to_string(size) + " bytes, shorter than its " +
                std::to_string(headerSize) + "-byte header";
        return std::nullopt;
    }
    if (!form.mac) {
        const std::uint16_t marker = read16(data, false);
        if (marker != 1) {
            error = "property list: header starts with " + std::to_string(marker) + ", not 1";
            return std::nullopt;
        }
    }
    const std::uint32_t listVersion = read32(data + headerSize - 8, form.mac);
    // A list in the Intel form opens with the little-endian 16-bit 1: as a Mac version, 2^24.
    if (form.mac && data[0] == 1 && data[1] == 0) {
        error =
            "property list is little-endian, in the Windows order with a leading 16-bit 1, not big-endian "
            "as a Mac resource holds it";
        return std::nullopt;
    }
    if (listVersion != 0) {
        error = "property list: version " + std::to_string(listVersion) + " is not 0";
        return std::nullopt;
    }
    const std::uint32_t count = read32(data + headerSize - 4, form.mac);
    // Every property takes at least its 16-byte head: a count beyond that cannot add up.
    if (count > (size - headerSize) / kPropertyHead) {
        error = "property list truncated or miscounted: " + std::to_string(count) +
                " properties need at least " +
                std::to_string(headerSize + std::uint64_t{count} * kPropertyHead) +
                " bytes, the list holds " + std::to_string(size);
        return std::nullopt;
    }
    return count;
}

// The `count` properties after the header, each value padded to four bytes; they must fill the
// list exactly.
bool readProperties(const std::uint8_t* data, std::size_t size, std::uint32_t count, const Form& form,
                    Pipl& pipl, std::string& error) {
    const bool big = form.mac;
    std::size_t at = big ? kMacHeaderSize : kIntelHeaderSize;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::string which = "property " + std::to_string(i + 1) + " of " + std::to_string(count);
        if (size - at < kPropertyHead) {
            error = "property list truncated: " + which + " starts at byte " + std::to_string(at) +
                    " but only " + std::to_string(size - at) + " bytes remain";
            return false;
        }
        PiplProperty p;
        p.vendor = readCode(data + at, big);
        p.key = readCode(data + at + 4, big);
        p.id = static_cast<std::int32_t>(read32(data + at + 8, big));
        const std::uint32_t length = read32(data + at + 12, big);
        at += kPropertyHead;
        const std::uint64_t padded = (std::uint64_t{length} + 3) & ~std::uint64_t{3};
        if (padded > size - at) {
            error = "property list truncated: " + which + " (\"" + printable(p.key) + "\") declares " +
                    std::to_string(length) + " bytes but only " + std::to_string(size - at) + " remain";
            return false;
        }
        p.value.assign(data + at, data + at + length);
        at += static_cast<std::size_t>(padded);
        pipl.properties.push_back(std::move(p));
    }
    if (at != size) {
        error = "property list: " + std::to_string(count) + " properties end at byte " + std::to_string(at) +
                " but the list holds " + std::to_string(size) +
                " bytes; the count and the lengths do not add up";
        return false;
    }
    return true;
}

// Decodes one property the host uses into its field of `pipl`; other keys are kept undecoded.
bool decodeProperty(const PiplProperty& p, const Form& form, Pipl& pipl, std::string& error) {
    const bool big = form.mac;
    if (p.key == "kind") {
        if (p.value.size() != 4) {
            error = "property list: \"kind\" should hold 4 bytes";
            return false;
        }
        pipl.kind = readCode(p.value.data(), big);
        return true;
    }
    if (p.key == "name") return pascalString(p, pipl.name, error);
    if (p.key == "catg") return pascalString(p, pipl.category, error);
    if (p.key == "eMNA") return pascalString(p, pipl.matchName, error);
    for (std::string_view key : form.codeKeys) {
        if (p.key != key) continue;
        PiplCodeEntry entry{p.key, {}};
        if (!(form.mac ? pascalString(p, entry.name, error) : cString(p, entry.name, error))) return false;
        pipl.codeEntries.push_back(std::move(entry));
        return true;
    }
    if (p.key == "ePVR") return versionPair(p, big, pipl.piplVersion, error);
    if (p.key == "eSVR") return versionPair(p, big, pipl.apiVersion, error);
    if (p.key == "eVER") return word32(p, big, pipl.version, error);
    if (p.key == "eGLO") return word32(p, big, pipl.outFlags, error);
    if (p.key == "eGL2") return word32(p, big, pipl.outFlags2, error);
    if (p.key == "aeFL") return word32(p, big, pipl.reservedInfo, error);
    if (p.key == "eINF") {
        if (p.value.size() != 2 && p.value.size() != 4) {
            error = "property list: \"eINF\" should hold 2 bytes";
            return false;
        }
        pipl.infoFlags = read16(p.value.data(), big);
    }
    return true;
}

// What every effect's list must say: that it is an effect, its name, match name and entry point.
bool checkIdentity(const Pipl& pipl, const Form& form, std::string& error) {
    if (pipl.kind.empty()) {
        error = "property list has no \"kind\" property";
        return false;
    }
    if (pipl.kind != "eFKT") {
        error = "property list: kind \"" + printable(pipl.kind) + "\" is not an effect (eFKT)";
        return false;
    }
    if (pipl.name.empty()) {
        error = "property list has no effect name (\"name\")";
        return false;
    }
    if (pipl.matchName.empty()) {
        error = "property list has no match name (\"eMNA\")";
        return false;
    }
    for (const PiplCodeEntry& entry : pipl.codeEntries) {
        if (!entry.name.empty()) continue;
        error = "property list names no entry point (\"" + entry.key + "\")";
        return false;
    }
    if (pipl.codeEntries.empty()) {
        std::string keys;
        for (std::string_view key : form.codeKeys)
            keys += (keys.empty() ? "\"" : " or \"") + std::string(key) + "\"";
        error = "property list names no entry point (" + keys + ")";
        return false;
    }
    return true;
}

}  // namespace

const PiplProperty* Pipl::find(std::string_view key) const {
    for (const PiplProperty& p : properties)
        if (p.key == key) return &p;
    return nullptr;
}

namespace {

std::optional<Pipl> parseForm(const std::uint8_t* data, std::size_t size, const Form& form,
                              std::string& error) {
    const auto count = readHeader(data, size, form, error);
    if (!count) return std::nullopt;
    Pipl pipl;
    if (!readProperties(data, size, *count, form, pipl, error)) return std::nullopt;
    for (const PiplProperty& p : pipl.properties)
        if (!decodeProperty(p, form, pipl, error)) return std::nullopt;
    if (!checkIdentity(pipl, form, error)) return std::nullopt;
    pipl.entryPoint = pipl.codeEntries.front().name;
    return pipl;
}

}  // namespace

std::optional<Pipl> parsePipl(const std::uint8_t* data, std::size_t size, std::string& error,
                              std::string_view codeEntryKey) {
    return parseForm(data, size, Form{false, {codeEntryKey}}, error);
}

std::optional<Pipl> parseMacPipl(const std::uint8_t* data, std::size_t size, std::string& error) {
    return parseForm(data, size, Form{true, {kPiplMacIntelCodeEntryKey, kPiplMacArmCodeEntryKey}}, error);
}

EffectVersion decodeEffectVersion(std::uint32_t word) {
    return EffectVersion{(word >> 19) & 0x7, (word >> 15) & 0xF, (word >> 11) & 0xF, (word >> 9) & 0x3,
                         word & 0x1FF};
}

}  // namespace vhost
