// The one place where the host calls the platform: the dynamic loader, and finding the folder of
// the running program.
#include "SharedLibrary.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

#include <vector>

namespace vhost {

#if defined(_WIN32)

std::unique_ptr<SharedLibrary> SharedLibrary::open(const std::filesystem::path& file,
                                                   std::string& error) {
    HMODULE handle = ::LoadLibraryW(file.wstring().c_str());
    if (!handle) {
        error = "the system could not load it (error " + std::to_string(::GetLastError()) + ")";
        return nullptr;
    }
    return std::unique_ptr<SharedLibrary>(new SharedLibrary(reinterpret_cast<void*>(handle)));
}

SharedLibrary::~SharedLibrary() {
    if (handle_) ::FreeLibrary(reinterpret_cast<HMODULE>(handle_));
}

void* SharedLibrary::symbol(const char* name) const {
    return reinterpret_cast<void*>(::GetProcAddress(reinterpret_cast<HMODULE>(handle_), name));
}

const char* SharedLibrary::moduleSuffix() { return ".aex"; }

std::filesystem::path SharedLibrary::executableDirectory() {
    std::vector<wchar_t> buffer(32768);
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0 || n >= buffer.size()) return {};
    return std::filesystem::path(std::wstring(buffer.data(), n)).parent_path();
}

#else

std::unique_ptr<SharedLibrary> SharedLibrary::open(const std::filesystem::path& file,
                                                   std::string& error) {
    // A path without a slash would make dlopen search the library path instead of opening it.
    std::filesystem::path target = file;
    if (!target.has_parent_path()) target = std::filesystem::path(".") / target;
    ::dlerror();
    void* handle = ::dlopen(target.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = ::dlerror();
        error = why ? why : "the dynamic loader refused it";
        return nullptr;
    }
    return std::unique_ptr<SharedLibrary>(new SharedLibrary(handle));
}

SharedLibrary::~SharedLibrary() {
    if (handle_) ::dlclose(handle_);
}

void* SharedLibrary::symbol(const char* name) const {
    ::dlerror();
    return ::dlsym(handle_, name);
}

const char* SharedLibrary::moduleSuffix() { return ".so"; }

std::filesystem::path SharedLibrary::executableDirectory() {
    std::vector<char> buffer(4096);
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size()) return {};
    return std::filesystem::path(std::string(buffer.data(), static_cast<std::size_t>(n))).parent_path();
}

#endif

}  // namespace vhost
