#include "OutputFile.h"

#include "Error.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <optional>
#include <random>
#include <regex>
#include <string>
#include <system_error>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vblind {

namespace fs = std::filesystem;

namespace {

std::atomic<long long> gWriteBudget{-1};  // test hook: bytes left before writes fail; -1: unlimited

fs::path folderOf(const fs::path& destination) {
    fs::path folder = destination.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

std::string quoted(const fs::path& p) { return "\"" + p.string() + "\""; }

// The longest file name the folder's file system takes (255 on the usual ones).
std::size_t nameLimit(const fs::path& folder) {
    const long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    return limit > 0 ? static_cast<std::size_t>(limit) : 255;
}

// The first `bytes` bytes of a name, not cutting a UTF-8 character in two.
std::string headOf(const std::string& name, std::size_t bytes) {
    if (name.size() <= bytes) return name;
    while (bytes > 0 && (static_cast<unsigned char>(name[bytes]) & 0xC0) == 0x80) --bytes;
    return name.substr(0, bytes);
}

// A name in the destination's folder that no other run or file of this run will pick, short
// enough for the file system whatever the destination's own name: the name is shortened to fit.
fs::path temporaryNameFor(const fs::path& destination) {
    static std::atomic<unsigned> counter{0};
    static const unsigned long long salt = [] {
        std::random_device rd;
        return (static_cast<unsigned long long>(rd()) << 32) ^ rd();
    }();
    const fs::path folder = folderOf(destination);
    // The process id lets a later run tell a file left by a killed run from one still being written.
    const std::string tail = ".velmorblind-" + std::to_string(::getpid()) + "-" +
                             std::to_string(salt % 1000000007ull) + "-" + std::to_string(counter++) + ".tmp";
    const std::size_t limit = nameLimit(folder);
    const std::size_t room = limit > tail.size() + 1 ? limit - tail.size() - 1 : 0;
    return folder / ("." + headOf(destination.filename().string(), room) + tail);
}

// The process id in a temporary name of this tool's pattern, ".NAME.velmorblind-PID-SALT-N.tmp".
std::optional<pid_t> temporaryOwner(const std::string& name) {
    static const std::regex pattern(R"(^\..*\.velmorblind-([0-9]{1,9})-[0-9]+-[0-9]+\.tmp$)");
    std::smatch match;
    if (!std::regex_match(name, match, pattern)) return std::nullopt;
    return static_cast<pid_t>(std::stol(match[1].str()));
}

// Links that still end in a link after forty hops go round in a loop (or nearly so): renaming onto
// the last would replace a link with a picture, and no file is named anyway.
void refuseLinkLoop(const fs::path& requested, const fs::path& destination) {
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(destination, ec)))
        failure("cannot write " + quoted(requested) +
                ": it is a symbolic link that leads round in a loop (or through more than 40 links), so it "
                "names no file.");
}

}  // namespace

fs::path writeFolder(const fs::path& destination) { return folderOf(resolveDestination(destination)); }

int removeStaleTemporaries(const fs::path& folder) {
    int removed = 0;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const auto owner = temporaryOwner(it->path().filename().string());
        // Only files whose run is gone: a live id (ours, another run's, or an unrelated process
        // that has the id since) keeps its file.
        if (!owner || *owner <= 0 || ::kill(*owner, 0) == 0 || errno != ESRCH) continue;
        std::error_code removeError;
        if (fs::is_regular_file(it->symlink_status(removeError)) && fs::remove(it->path(), removeError))
            ++removed;
    }
    return removed;
}

std::string fileErrorReason(int err) {
    switch (err) {
        case ENOSPC: return "no space left on the device";
#ifdef EDQUOT
        case EDQUOT: return "the disk quota is used up";
#endif
        case EFBIG:
            return "file too large (over the file-size limit, ulimit -f, or what the file system allows)";
        case EIO: return "the device reported an input/output error";
        case EROFS: return "the file system is read-only";
        case EACCES:
        case EPERM: return "permission denied";
        case ENAMETOOLONG: return "the name is too long for the file system";
        case EMFILE: {
            struct rlimit limit {};
            const bool known = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY;
            return "too many files are open at once (the limit of open files, ulimit -n, is " +
                   (known ? std::to_string(limit.rlim_cur) : std::string("low")) + ")";
        }
        case ENFILE: return "the system has too many files open";
        default: break;
    }
    std::string text = std::strerror(err);
    if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

void failWritesAfterForTesting(long long bytes) { gWriteBudget = bytes; }

fs::path resolveDestination(const fs::path& path) {
    fs::path p = path;
    std::error_code ec;
    // Forty hops, as the kernel allows; a loop beyond that is left for the write to report.
    for (int hop = 0; hop < 40 && fs::is_symlink(fs::symlink_status(p, ec)); ++hop) {
        const fs::path target = fs::read_symlink(p, ec);
        if (ec) break;
        p = target.is_absolute() ? target : folderOf(p) / target;
    }
    return p;
}

void checkDestination(const fs::path& requested) {
    const fs::path destination = resolveDestination(requested);
    const fs::path folder = folderOf(destination);
    const std::string shown = quoted(requested);
    refuseLinkLoop(requested, destination);
    std::error_code ec;
    if (!fs::exists(folder, ec))
        failure("cannot write " + shown + ": the folder " + quoted(folder) + " does not exist.");
    if (!fs::is_directory(folder, ec))
        failure("cannot write " + shown + ": " + quoted(folder) + " is not a folder.");
    // Renaming onto a device, a pipe or a socket would replace that special file with a picture.
    const fs::file_status existing = fs::status(destination, ec);
    if (fs::is_directory(existing)) failure("cannot write " + shown + ": it is a folder.");
    if (fs::exists(existing) && !fs::is_regular_file(existing))
        failure("cannot write " + shown + ": it is " +
                (fs::is_fifo(existing)                                            ? "a pipe"
                 : fs::is_socket(existing)                                        ? "a socket"
                 : fs::is_block_file(existing) || fs::is_character_file(existing) ? "a device"
                                                                                  : "not a regular file") +
                ", and only regular files are written.");
    // Ask the file system itself: permissions alone do not tell (read-only mounts, ACLs, root).
    const fs::path probe = temporaryNameFor(destination);
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int err = errno;
        if (err == EROFS)
            failure("cannot write " + shown + ": the folder " + quoted(folder) +
                    " is on a read-only file system.");
        if (err == EACCES || err == EPERM)
            failure("cannot write " + shown + ": the folder " + quoted(folder) +
                    " does not let us create files.");
        failure("cannot write " + shown + ": " + fileErrorReason(err) + ".");
    }
    ::close(fd);
    fs::remove(probe, ec);
}

// The temporary file under the image library: positioned and positional writes through one file
// descriptor, each checked; the first failure is kept for the sentence.
class TempOutput::Proxy : public OIIO::Filesystem::IOProxy {
public:
    Proxy(const std::string& name, int fd) : IOProxy(name, Write), fd_(fd) {}
    const char* proxytype() const override { return "velmorblind-checked"; }
    void close() override { m_mode = Closed; }  // the descriptor is the TempOutput's
    bool seek(int64_t offset) override {
        if (offset < 0) return false;
        m_pos = offset;
        return true;
    }
    size_t write(const void* buf, size_t size) override {
        const size_t done = pwrite(buf, size, m_pos);
        m_pos += static_cast<int64_t>(done);
        return done;
    }
    size_t pwrite(const void* buf, size_t size, int64_t offset) override {
        if (error_) return 0;
        const long long budget = gWriteBudget.load();
        if (budget >= 0) {
            if (static_cast<long long>(size) > budget) {
                gWriteBudget = 0;
                error_ = ENOSPC;
                return 0;
            }
            gWriteBudget = budget - static_cast<long long>(size);
        }
        const char* p = static_cast<const char*>(buf);
        size_t done = 0;
        while (done < size) {
            const ssize_t n = ::pwrite(fd_, p + done, size - done, offset + static_cast<int64_t>(done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                error_ = n < 0 ? errno : ENOSPC;
                break;
            }
            done += static_cast<size_t>(n);
        }
        return done;
    }
    size_t read(void* buf, size_t size) override {
        const size_t done = pread(buf, size, m_pos);
        m_pos += static_cast<int64_t>(done);
        return done;
    }
    size_t pread(void* buf, size_t size, int64_t offset) override {
        const ssize_t n = ::pread(fd_, buf, size, offset);
        return n > 0 ? static_cast<size_t>(n) : 0;
    }
    size_t size() const override {
        struct stat st {};
        return ::fstat(fd_, &st) == 0 ? static_cast<size_t>(st.st_size) : 0;
    }
    int error() const { return error_; }

private:
    int fd_;
    int error_ = 0;
};

TempOutput::TempOutput(const fs::path& destination)
    : shown_(destination),
      destination_(resolveDestination(destination)),
      temp_(temporaryNameFor(destination_)) {
    refuseLinkLoop(shown_, destination_);
    const int fd = ::open(temp_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) fail(fileErrorReason(errno));
    proxy_ = std::make_unique<Proxy>(temp_.string(), fd);
    fd_ = fd;
}

TempOutput::~TempOutput() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_ && proxy_) {
        std::error_code ec;
        fs::remove(temp_, ec);
    }
}

OIIO::Filesystem::IOProxy* TempOutput::proxy() { return proxy_.get(); }

int TempOutput::writeError() const { return proxy_ ? proxy_->error() : 0; }

void TempOutput::fail(const std::string& reason) {
    failure("cannot write " + quoted(shown_) + ": " + reason + ".");
}

void TempOutput::commit() {
    if (writeError()) fail(fileErrorReason(writeError()));
    struct stat st {};
    if (::fstat(fd_, &st) != 0) fail(fileErrorReason(errno));
    if (st.st_size == 0) fail("the image library wrote nothing");
    // A file that is replaced keeps its permissions (and, where we may set them, its owner), as
    // when cp writes onto it; a new file gets the usual ones the umask leaves.
    struct stat existing {};
    if (::stat(destination_.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        // Only root may give a file away; where that fails the permissions below still hold.
        if (::fchown(fd_, existing.st_uid, existing.st_gid) != 0) errno = 0;
        if (::fchmod(fd_, existing.st_mode & 07777) != 0) fail(fileErrorReason(errno));
    }
    if (::fsync(fd_) != 0) fail(fileErrorReason(errno));
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) fail(fileErrorReason(errno));
    std::error_code ec;
    fs::rename(temp_, destination_, ec);
    if (ec) fail("renaming the finished file into place failed (" + ec.message() + ")");
    committed_ = true;
    // The rename itself reaches the device with the folder's own flush; a folder that cannot be
    // opened or flushed (some network file systems) leaves the file complete all the same.
    const int dir = ::open(folderOf(destination_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

}  // namespace vblind
