#include "MemoryBudget.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace vblind {

std::uint64_t defaultMemoryBudget() {
    std::uint64_t physical = 0;
#if defined(_WIN32)
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (GlobalMemoryStatusEx(&status)) physical = status.ullTotalPhys;
#else
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages > 0 && pageSize > 0)
        physical = static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
#endif
    return physical > 0 ? physical / 2 : std::uint64_t{1} << 30;
}

std::optional<std::uint64_t> parseByteSize(const std::string& text, bool* tooLarge) {
    if (tooLarge) *tooLarge = false;
    std::size_t i = 0;
    std::string number;
    while (i < text.size() && (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '.'))
        number += text[i++];
    if (number.empty() || number == "." || number.find('.') != number.rfind('.')) return std::nullopt;
    std::string unit;
    for (; i < text.size(); ++i) unit += static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
    double scale = 1;
    if (!unit.empty() && unit.find_first_of("KMGT") == 0) {
        scale = std::pow(1024.0, static_cast<double>(std::string("KMGT").find(unit[0]) + 1));
        unit.erase(0, 1);
        if (unit == "IB") unit = "B";
    }
    if (!unit.empty() && unit != "B") return std::nullopt;
    // strtod saturates where stod would throw: a number past any double is simply too large.
    const double bytes = std::floor(std::strtod(number.c_str(), nullptr) * scale);
    if (!(bytes >= 1)) return std::nullopt;
    if (bytes > 1.8e19) {
        if (tooLarge) *tooLarge = true;
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(bytes);
}

std::string describeBytes(std::uint64_t bytes) {
    const char* units[] = {"KiB", "MiB", "GiB", "TiB"};
    if (bytes < 1024) return std::to_string(bytes) + " bytes";
    double value = static_cast<double>(bytes);
    int u = -1;
    while (value >= 1024 && u < 3) {
        value /= 1024;
        ++u;
    }
    char text[32];
    std::snprintf(text, sizeof text, value < 10 ? "%.1f %s" : "%.0f %s", value, units[u]);
    return text;
}

}  // namespace vblind
