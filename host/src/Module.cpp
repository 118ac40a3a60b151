#include "Module.h"

#include "ModuleFile.h"
#include "SharedLibrary.h"

#include <system_error>

namespace vhost {

Module::~Module() = default;

std::shared_ptr<Module> Module::load(const std::filesystem::path& file, std::string& error) {
    const std::string what = file.string();

    // First the property list, read from the file: nothing of the module has run yet.
    std::string why;
    auto bytes = readPiplBytes(file, why);
    if (!bytes) {
        error = why;
        return nullptr;
    }
    auto pipl = parsePipl(*bytes, why);
    if (!pipl) {
        error = what + " carries a bad property list (" + why + ")";
        return nullptr;
    }

    // Then the code.
    auto library = SharedLibrary::open(file, why);
    if (!library) {
        error = what + " could not be loaded: " + why;
        return nullptr;
    }
    void* entry = library->symbol(pipl->entryPoint.c_str());
    if (!entry) {
        error =
            what + " does not export its entry point " + pipl->entryPoint + ", so it is not an effect module";
        return nullptr;
    }

    std::shared_ptr<Module> module(new Module());
    module->pipl_ = std::move(*pipl);
    module->entry_ = reinterpret_cast<PF_EntryPointFunc>(entry);
    module->path_ = file;
    module->library_ = std::move(library);
    return module;
}

std::shared_ptr<Module> Module::fromEntryPoint(PF_EntryPointFunc entry, Pipl pipl, std::string label) {
    std::shared_ptr<Module> module(new Module());
    module->pipl_ = std::move(pipl);
    module->entry_ = entry;
    module->path_ = std::move(label);
    return module;
}

std::string moduleFileName(const std::string& base) { return base + SharedLibrary::moduleSuffix(); }

std::optional<std::filesystem::path> findModule(const std::string& fileName,
                                                const std::vector<std::filesystem::path>& dirs) {
    for (const auto& dir : dirs) {
        if (dir.empty()) continue;
        std::error_code ec;
        const auto candidate = dir / fileName;
        if (std::filesystem::is_regular_file(candidate, ec)) return candidate;
    }
    return std::nullopt;
}

std::vector<std::filesystem::path> defaultModuleDirs() {
    std::vector<std::filesystem::path> dirs;
    if (auto exeDir = SharedLibrary::executableDirectory(); !exeDir.empty()) dirs.push_back(exeDir);
    return dirs;
}

}  // namespace vhost
