#include "OutputClash.h"

#include "Error.h"
#include "OutputFile.h"

#include <filesystem>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include <sys/stat.h>

namespace vblind {

namespace fs = std::filesystem;

namespace {

// What a path names: the file itself where it exists (links followed), else where it would be made.
struct Identity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    std::string where;  // for files that do not exist yet

    bool operator==(const Identity& o) const {
        if (exists != o.exists) return false;
        return exists ? device == o.device && inode == o.inode : where == o.where;
    }
};

std::string normalised(const std::string& path) {
    std::error_code ec;
    const fs::path target = resolveDestination(path);
    fs::path full = fs::weakly_canonical(fs::absolute(target, ec), ec);
    if (ec) full = fs::absolute(target, ec).lexically_normal();
    return full.string();
}

Identity identityOf(const std::string& path) {
    Identity id;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        id.exists = true;
        id.device = st.st_dev;
        id.inode = st.st_ino;
    } else {
        id.where = normalised(path);
    }
    return id;
}

struct Named {
    std::string role;  // "the output", "the contact sheet", "the input image"
    std::string path;
    std::string text() const { return role + " \"" + path + "\""; }
};

[[noreturn]] void refuse(const Named& writer, const Named& other) {
    usageError(writer.text() + " is " + other.text() +
               "; writing it would destroy that file, so choose another output name.");
}

struct InodeHash {
    std::size_t operator()(const std::pair<dev_t, ino_t>& k) const {
        return std::hash<unsigned long long>()(static_cast<unsigned long long>(k.second) * 1000003ull ^
                                               static_cast<unsigned long long>(k.first));
    }
};

}  // namespace

void checkOutputsSpareInputs(const std::vector<ReadFile>& reads, const OutputPattern& output,
                             const FrameRange& frames, const std::string& contactSheet) {
    std::vector<std::pair<Identity, Named>> read;
    for (const ReadFile& r : reads) read.push_back({identityOf(r.path), Named{"the " + r.role, r.path}});
    std::optional<std::pair<Identity, Named>> sheet;
    if (!contactSheet.empty()) {
        sheet.emplace(identityOf(contactSheet), Named{"the contact sheet", contactSheet});
        for (const auto& [id, named] : read)
            if (sheet->first == id) refuse(sheet->second, named);
    }

    // Each frame that could clash: one that exists (an input or the sheet exists, or is a link
    // or hard link to one of them), or one whose would-be place is the sheet's.
    std::unordered_map<std::pair<dev_t, ino_t>, std::string, InodeHash> existing;
    auto checkFrame = [&](const std::string& path) {
        const Identity id = identityOf(path);
        const Named frame{"the output", path};
        for (const auto& [rid, named] : read)
            if (id == rid) refuse(frame, named);
        if (sheet && id == sheet->first) refuse(sheet->second, frame);
        if (id.exists) {
            const auto [at, fresh] = existing.emplace(std::make_pair(id.device, id.inode), path);
            if (!fresh) refuse(frame, Named{"the output", at->second});
        }
    };

    if (!output.hasFrameNumber()) {
        checkFrame(output.pathFor(frames.first));
        return;
    }
    if (!output.numberInFileName()) {
        // Frame numbers in folder names: every frame on its own (rare, and never a huge folder).
        std::unordered_set<std::string> places;
        for (int f = frames.first; f <= frames.last; ++f) {
            const std::string path = output.pathFor(f);
            checkFrame(path);
            if (!places.insert(normalised(path)).second)
                refuse(Named{"the output", path}, Named{"the output of another frame", path});
        }
        return;
    }
    // One folder: only its entries that are frames of the range can be anything but new files.
    const std::string folderText = output.fixedFolder();
    const fs::path folder = folderText.empty() ? fs::path(".") : fs::path(folderText);
    std::error_code ec;
    const fs::path canonicalFolder = fs::weakly_canonical(fs::absolute(folder, ec), ec);
    // The frame that a place that does not exist yet would be, or -1.
    auto frameAt = [&](const fs::path& place) {
        return place.parent_path() == canonicalFolder
                   ? output.frameOf(folderText + place.filename().string(), frames)
                   : -1;
    };
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string path = folderText + it->path().filename().string();
        const int frame = output.frameOf(path, frames);
        if (frame < 0) continue;
        checkFrame(path);
        // A dangling link to another frame's name would have that frame overwritten by this one.
        const Identity id = identityOf(path);
        const int target = id.exists ? -1 : frameAt(id.where);
        if (target >= 0 && target != frame)
            refuse(Named{"the output", path}, Named{"the output", output.pathFor(target)});
    }
    // A contact sheet that does not exist yet clashes only by name, with a frame to be made.
    if (sheet && !sheet->first.exists) {
        const int frame = frameAt(sheet->first.where);
        if (frame >= 0) refuse(sheet->second, Named{"the output", output.pathFor(frame)});
    }
}

}  // namespace vblind
