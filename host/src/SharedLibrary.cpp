// The one place where the host calls the platform: the dynamic loader, and finding the folder of
// the running program.
#include "SharedLibrary.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

#include <string>
#include <system_error>
#include <vector>

namespace vhost {

#if defined(_WIN32)

namespace {

// The system's own sentence for an error code, without its trailing line break.
std::string systemMessage(DWORD code) {
    char* text = nullptr;
    const DWORD n = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = n && text ? std::string(text, n) : std::string();
    if (text) ::LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ' ||
                                message.back() == '.'))
        message.pop_back();
    return message;
}

}  // namespace

std::unique_ptr<SharedLibrary> SharedLibrary::open(const std::filesystem::path& file, std::string& error) {
    // A bare or relative name would make the loader search its DLL path instead of opening this
    // file; with the full path, the module's own folder is also where its dependencies are
    // looked for, as hosts load plug-ins. No message box may stop the process on a bad file.
    std::error_code ec;
    const std::filesystem::path target = std::filesystem::absolute(file, ec);
    DWORD oldMode = 0;
    ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
    HMODULE handle = ::LoadLibraryExW((ec ? file : target).wstring().c_str(), nullptr,
                                      ec ? 0 : LOAD_WITH_ALTERED_SEARCH_PATH);
    const DWORD code = handle ? 0 : ::GetLastError();
    ::SetThreadErrorMode(oldMode, nullptr);
    if (!handle) {
        const std::string why = systemMessage(code);
        error = (why.empty() ? std::string("the system could not load it") : why) + " (error " +
                std::to_string(code) + ")";
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

std::unique_ptr<SharedLibrary> SharedLibrary::open(const std::filesystem::path& file, std::string& error) {
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
