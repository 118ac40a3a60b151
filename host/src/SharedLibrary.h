// The host's only contact with the operating system's dynamic loader: open a shared library,
// look up a symbol, close it. POSIX builds use dlopen/dlsym, Windows builds LoadLibraryEx and
// GetProcAddress, behind the same interface. Nothing else in the host calls the platform.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace vhost {

class SharedLibrary {
public:
    // Opens the library (POSIX: all symbols bound now, none made global; Windows: by its full
    // path, its dependencies looked for beside it first). On failure returns null and puts the
    // loader's own explanation into `error`.
    static std::unique_ptr<SharedLibrary> open(const std::filesystem::path& file, std::string& error);
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // Address of an exported symbol, or null.
    void* symbol(const char* name) const;

    // File name suffix of a module on this platform (".so", ".aex").
    static const char* moduleSuffix();

    // Folder of the running program (empty when it cannot be found).
    static std::filesystem::path executableDirectory();

private:
    explicit SharedLibrary(void* handle) : handle_(handle) {}
    void* handle_ = nullptr;
};

}  // namespace vhost
