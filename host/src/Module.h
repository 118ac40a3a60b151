// An effect module as the host holds it: its property list (read from the file before anything
// of the module runs) and its entry point. Also finding a module on disk.
#pragma once

#include "AE_Effect.h"
#include "Pipl.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vhost {

class SharedLibrary;

class Module {
public:
    // Loads a module file: reads and checks its property list from the file, then opens it and
    // looks up the entry point that the property list names. On failure returns null with one
    // sentence in `error`; the failures told apart are: missing file, not a module, no property
    // list section, a bad property list, a library that cannot be opened, no entry point.
    static std::shared_ptr<Module> load(const std::filesystem::path& file, std::string& error);

    // A module whose code is linked into this process (tests drive an entry point directly).
    static std::shared_ptr<Module> fromEntryPoint(PF_EntryPointFunc entry, Pipl pipl = {},
                                                  std::string label = "(in process)");

    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    const Pipl& pipl() const { return pipl_; }
    PF_EntryPointFunc entryPoint() const { return entry_; }
    // The file it was loaded from, or the label of an in-process module.
    const std::filesystem::path& path() const { return path_; }

private:
    Module() = default;
    Pipl pipl_;
    PF_EntryPointFunc entry_ = nullptr;
    std::filesystem::path path_;
    std::unique_ptr<SharedLibrary> library_;  // null for in-process modules
};

// The module's file name on this platform: "<base>.so" on Linux, "<base>.aex" on Windows.
std::string moduleFileName(const std::string& base);

// The first folder of `dirs` holding `fileName`, as a full path; nullopt when none does.
std::optional<std::filesystem::path> findModule(const std::string& fileName,
                                                const std::vector<std::filesystem::path>& dirs);

// Where a program looks for modules by default: the folder it runs from.
std::vector<std::filesystem::path> defaultModuleDirs();

}  // namespace vhost
