// A module's property list: the block of tagged properties through which the host learns an
// effect's kind, name, category, match name, version, flags and entry point without running any
// of its code.
//
// Two forms of the same layout:
//   Intel form (Linux ELF section, Windows resource), all integers little-endian:
//     header    16-bit 1, 32-bit list version 0, 32-bit property count
//     property  4-byte vendor, 4-byte key, 32-bit id, 32-bit value length, value padded with zero
//               bytes to a multiple of 4
//     Four-character codes (vendor, key, the kind value) are stored with their bytes reversed: the
//     vendor "8BIM" appears in the bytes as "MIB8". The code entry is a zero-terminated name.
//   Mac form (a macOS bundle's resource 'PiPL', as the resource compiler writes it on any Mac):
//     header    32-bit list version 0, 32-bit property count, both big-endian
//     property  as above, integers big-endian, codes in reading order; the length counts the value
//               alone, not its padding. The code entries are length-prefixed names.
// Pipl keeps codes in reading order ("8BIM").
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vhost {

struct PiplProperty {
    std::string vendor;  // four characters, reading order
    std::string key;     // four characters, reading order
    std::int32_t id = 0;
    std::vector<std::uint8_t> value;  // exactly the declared length, padding removed
};

// A code entry: the key naming the platform and the name of the entry point the host calls there.
struct PiplCodeEntry {
    std::string key;
    std::string name;
};

struct PiplVersionPair {
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
};

struct Pipl {
    std::vector<PiplProperty> properties;  // in file order

    // Decoded from the properties by parsePipl. The first five are required; the rest are
    // present when the list carries them.
    std::string kind;                            // "kind": "eFKT" for an effect
    std::string name;                            // "name": length-prefixed string
    std::string matchName;                       // "eMNA": length-prefixed string
    std::string entryPoint;                      // the first code entry's name (see below)
    std::vector<PiplCodeEntry> codeEntries;      // every code entry the parser looks for, file order
    std::string category;                        // "catg": length-prefixed string (may be absent: empty)
    std::optional<PiplVersionPair> piplVersion;  // "ePVR": major then minor, 16 bits each
    std::optional<PiplVersionPair> apiVersion;   // "eSVR": the effect API version, major then minor
    std::optional<std::uint32_t> version;        // "eVER": the effect's version word
    std::optional<std::uint32_t> infoFlags;      // "eINF": 16-bit info flags
    std::optional<std::uint32_t> outFlags;       // "eGLO"
    std::optional<std::uint32_t> outFlags2;      // "eGL2"
    std::optional<std::uint32_t> reservedInfo;   // "aeFL"

    const PiplProperty* find(std::string_view key) const;
};

// The key of the code-entry property for the platform the host runs on ("8664": x86-64; the ELF
// section carries the same list as the Windows resource).
inline constexpr std::string_view kPiplCodeEntryKey = "8664";
// The code entries of a macOS bundle: built for 64-bit Intel Macs, and for Apple silicon.
inline constexpr std::string_view kPiplMacIntelCodeEntryKey = "mi64";
inline constexpr std::string_view kPiplMacArmCodeEntryKey = "ma64";

// Parses and checks a property list whose entry point is named by the `codeEntryKey` property.
// On failure returns nullopt and puts one sentence into `error` naming what is wrong (truncated
// header or property, a count or lengths that do not add up to the block's size, a malformed
// value, a missing required property).
std::optional<Pipl> parsePipl(const std::uint8_t* data, std::size_t size, std::string& error,
                              std::string_view codeEntryKey = kPiplCodeEntryKey);
inline std::optional<Pipl> parsePipl(const std::vector<std::uint8_t>& bytes, std::string& error,
                                     std::string_view codeEntryKey = kPiplCodeEntryKey) {
    return parsePipl(bytes.data(), bytes.size(), error, codeEntryKey);
}

// The same for a list in the Mac form, whose entry points are the code entries "mi64" and "ma64"
// (at least one of them). A list in the Intel form is refused as such.
std::optional<Pipl> parseMacPipl(const std::uint8_t* data, std::size_t size, std::string& error);
inline std::optional<Pipl> parseMacPipl(const std::vector<std::uint8_t>& bytes, std::string& error) {
    return parseMacPipl(bytes.data(), bytes.size(), error);
}

// The effect version word decoded as major.minor.revision, stage and build.
struct EffectVersion {
    unsigned major, minor, revision, stage, build;
};
EffectVersion decodeEffectVersion(std::uint32_t word);

}  // namespace vhost
