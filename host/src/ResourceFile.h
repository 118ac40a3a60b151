// Classic Mac resource files: the container in which a macOS effect bundle carries its property
// list (Contents/Resources/<name>.rsrc, resource 'PiPL' 16000).
//
// Layout, all integers big-endian:
//   header     32-bit data offset, map offset, data length, map length
//   data       per resource: a 32-bit length, then that many bytes
//   map        a copy of the header, a 32-bit next-map handle, a 16-bit file reference and
//              16-bit attributes, then 16-bit offsets (from the map) of the type list and of the
//              name list
//   type list  16-bit type count - 1; per type the 4-character type, 16-bit resource count - 1
//              and 16-bit offset (from the type list) of its reference list
//   reference  16-bit id, 16-bit name offset (0xFFFF: no name), 8-bit attributes, 24-bit
//              offset (from the data) of the resource's length, a 32-bit handle
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vhost {

struct MacResource {
    std::string type;  // four characters, as they read
    std::int16_t id = 0;
    std::uint8_t attributes = 0;
    std::vector<std::uint8_t> data;
};

// Every resource of the file, in map order, or nullopt with one sentence in `error` naming what
// is damaged (`what` names the file). Every offset and length is checked against the file.
std::optional<std::vector<MacResource>> readResourceFile(const std::vector<std::uint8_t>& image,
                                                         const std::string& what, std::string& error);

}  // namespace vhost
