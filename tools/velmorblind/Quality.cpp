#include "Quality.h"

#include <algorithm>
#include <cctype>

namespace vblind {

const QualityRow& qualityRow(Quality quality) {
    for (const QualityRow& row : kQualities)
        if (row.quality == quality) return row;
    return kQualities[0];
}

std::optional<Quality> qualityNamed(std::string_view name) {
    for (const QualityRow& row : kQualities) {
        const std::string_view word = row.name;
        if (std::equal(word.begin(), word.end(), name.begin(), name.end(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            }))
            return row.quality;
    }
    return std::nullopt;
}

std::vector<std::string> qualityNames() {
    std::vector<std::string> names;
    for (const QualityRow& row : kQualities) names.emplace_back(row.name);
    return names;
}

}  // namespace vblind
