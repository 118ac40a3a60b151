// The render qualities the renderer offers, in one table: each quality's word on the command line
// ("best"), its value here, and the layer quality the host hands the module. The option's list of
// words, the parsing of them and the host's value all read this table.
#pragma once

#include "AE_EffectSuites.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vblind {

enum class Quality { Best, Draft, Wireframe };

struct QualityRow {
    Quality quality;
    const char* name;  // as typed after --quality (case does not matter)
    AEGP_LayerQuality host;
};

inline constexpr QualityRow kQualities[] = {
    {Quality::Best, "best", AEGP_LayerQual_BEST},
    {Quality::Draft, "draft", AEGP_LayerQual_DRAFT},
    {Quality::Wireframe, "wireframe", AEGP_LayerQual_WIREFRAME},
};

const QualityRow& qualityRow(Quality quality);
// The quality a word names, case ignored; nullopt for any other word.
std::optional<Quality> qualityNamed(std::string_view name);
// The words, in the table's order.
std::vector<std::string> qualityNames();

}  // namespace vblind
