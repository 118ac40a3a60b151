// The program never destroys a user's file: outputs that would overwrite an input are refused,
// a write that fails leaves the old file and no temporary one, and a signal stops a sequence
// between whole frames.
#include "ToolRunner.h"

#include <csignal>
#include <cstring>
#include <fstream>
#include <functional>

#include <fcntl.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using vtest::ToolRun;

namespace {

class OutputSafetyTest : public vtest::ToolTest {
protected:
    // Names the tool's temporary files carry; none may stay behind.
    std::vector<std::string> leftovers() const {
        std::vector<std::string> found;
        for (const std::string& name : listing())
            if (name.find(".velmorblind-") != std::string::npos) found.push_back(name);
        return found;
    }
    // Every frame f_NNNN.png on disk: numbered 0, 1, 2... without a gap, and each decodes whole.
    int completeFrames() const {
        int count = 0;
        while (fs::exists(path(frameName(count)))) {
            EXPECT_NO_THROW(vblind::readImage(path(frameName(count)), std::nullopt)) << frameName(count);
            ++count;
        }
        for (const std::string& name : listing()) {
            if (name.rfind("f_", 0) == 0) {
                EXPECT_LT(std::stoi(name.substr(2)), count) << name;
            }
        }
        return count;
    }
    // A picture of random bytes, which no encoder can compress; returned as written.
    vhost::Image writeNoise(const std::string& name, int w, int h) const {
        vhost::Image noise(w, h, vhost::Depth::Bits8);
        std::mt19937 random(7);
        for (auto& b : noise.bytes) b = static_cast<std::uint8_t>(random());
        std::ostringstream ignored;
        vblind::Notes notes(ignored);
        vblind::writeImage(path(name), noise, notes);
        return noise;
    }
    static std::string frameName(int frame) {
        char name[32];
        std::snprintf(name, sizeof name, "f_%04d.png", frame);
        return name;
    }
};

}  // namespace

TEST_F(OutputSafetyTest, OutputsThatAreInputsAreRefusedAndTheInputsKeepTheirBytes) {
    writeInput("in.png");
    writeInput("back.png");
    writeInput("f_0001.png");
    fs::create_symlink("in.png", path("link.png"));
    fs::create_hard_link(path("in.png"), path("hard.png"));
    const std::string in = vtest::slurp(path("in.png"));
    const std::string back = vtest::slurp(path("back.png"));
    const std::string f1 = vtest::slurp(path("f_0001.png"));
    struct Case {
        std::vector<std::string> args;
        std::string said;
    };
    const Case cases[] = {
        {{"in.png", "-o", "in.png"}, "the output \"in.png\" is the input image \"in.png\""},
        {{"in.png", "-o", "./in.png"}, "is the input image"},
        {{"in.png", "-o", path("in.png")}, "is the input image"},
        {{"in.png", "-o", "link.png"}, "is the input image"},
        {{"in.png", "-o", "hard.png"}, "is the input image"},
        {{"in.png", "-o", "back.png", "--under", "back.png"}, "is the background image"},
        {{"f_0001.png", "-o", "f_%04d.png", "--frames", "0-3"},
         "the output \"f_0001.png\" is the input image"},
        {{"in.png", "-o", "f_%04d.png", "--frames", "0-3", "--under", "./f_0001.png"},
         "is the background image"},
        {{"in.png", "-o", "out.png", "--contact-sheet", "link.png"},
         "the contact sheet \"link.png\" is the input"},
        {{"in.png", "-o", "g_%04d.png", "--frames", "0-3", "--contact-sheet", "g_0002.png"},
         "the contact sheet \"g_0002.png\" is the output \"g_0002.png\""},
        {{"in.png", "-o", "out.png", "--contact-sheet", "./out.png"}, "the contact sheet"},
        // A range of a million frames is checked without a million look-ups; its last frame clashes.
        {{"in.png", "-o", "f_%04d.png", "--frames", "2-999999", "--under", "f_999999.png"},
         "is the background image"},
    };
    writeInput("f_999999.png");
    const std::string last = vtest::slurp(path("f_999999.png"));
    for (const Case& c : cases) {
        std::vector<std::string> args{"render"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        expectRefused(args, 2, c.said);
    }
    EXPECT_EQ(vtest::slurp(path("in.png")), in);
    EXPECT_EQ(vtest::slurp(path("back.png")), back);
    EXPECT_EQ(vtest::slurp(path("f_0001.png")), f1);
    EXPECT_EQ(vtest::slurp(path("f_999999.png")), last);
    EXPECT_TRUE(fs::is_symlink(path("link.png")));
    // Special files are never replaced by a picture.
    fs::create_symlink("/dev/null", path("null.png"));
    expectRefused({"render", "in.png", "-o", "null.png"}, 1, "it is a device");
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    ASSERT_EQ(::mkfifo(path("pipe.png").c_str(), 0600), 0);
    expectRefused({"render", "in.png", "-o", "pipe.png"}, 1, "it is a pipe");
    EXPECT_TRUE(fs::is_fifo(path("pipe.png")));
}

TEST_F(OutputSafetyTest, ALinkedOutputHasItsTargetReplacedAndLongNamesWork) {
    writeInput("in.png");
    writeInput("target.png", 5, 5);
    fs::create_symlink("target.png", path("out.png"));
    ToolRun r = run({"render", "in.png", "-o", "out.png"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(path("out.png")));
    EXPECT_EQ(vblind::readImage(path("target.png"), std::nullopt).image.width, 16);

    // The longest names a file system takes still get a temporary name that fits.
    const std::string longName = std::string(226, 'n') + ".png";
    r = run({"render", "in.png", "-o", longName});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(path(longName)));
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(OutputSafetyTest, AFullFileSystemLeavesTheOldFileAndNoTemporaryOne) {
    // A real full disk needs a small tmpfs of our own: room for some twenty of the frames below,
    // so that the frames the write pipeline has in flight at once cannot fill it before one is
    // whole (with 256 KB, a slow run under the thread sanitizer could fail its very first frame).
    const fs::path mountPoint = dir_ / "small";
    fs::create_directories(mountPoint);
    if (::geteuid() != 0 || ::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here (" << std::strerror(errno) << "); the injected "
                     << "write failures of OutputFileTest still run";
    struct Unmount {
        fs::path at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{mountPoint};
    // A noisy input: its frames do not compress, so a few of them fill the file system.
    const vhost::Image noise = writeNoise("noise.png", 120, 90);
    writeInput("small/keep.png");
    const std::string keep = vtest::slurp(path("small/keep.png"));

    ToolRun r =
        run({"render", "noise.png", "-o", "small/f_%04d.png", "--frames", "0-99", "--set", "Completion=0"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("no space left on the device"), std::string::npos) << r.err;
    EXPECT_TRUE(leftovers().empty());
    int frames = 0;
    while (fs::exists(path("small/" + frameName(frames)))) {
        EXPECT_EQ(vblind::readImage(path("small/" + frameName(frames)), std::nullopt).image.bytes,
                  noise.bytes);
        ++frames;
    }
    EXPECT_GT(frames, 0);
    EXPECT_LT(frames, 100);

    // Now full: replacing a good file fails and leaves it as it was. The failed frame's temporary
    // file was removed, which may have freed room for one more frame: fill what is left first.
    {
        std::ofstream filler(path("small/filler.bin"), std::ios::binary);
        const std::string block(4096, 'x');
        while (filler.write(block.data(), static_cast<std::streamsize>(block.size())) && filler.flush()) {}
    }
    r = run({"render", "noise.png", "-o", "small/keep.png"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("\"small/keep.png\": no space left on the device"), std::string::npos) << r.err;
    EXPECT_EQ(vtest::slurp(path("small/keep.png")), keep);
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(OutputSafetyTest, TermAndHangUpStopBetweenWholeFramesAndRemoveTemporaryFiles) {
    vhost::Image big(640, 480, vhost::Depth::Bits8);
    for (std::size_t i = 0; i < big.bytes.size(); ++i)
        big.bytes[i] = static_cast<std::uint8_t>(i * 13 + i / 640);
    std::ostringstream ignored;
    vblind::Notes notes(ignored);
    vblind::writeImage(path("in.png"), big, notes);
    for (int signal : {SIGTERM, SIGHUP}) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (::chdir(dir_.c_str()) != 0) ::_exit(99);
            const int err = ::open(".stderr", O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(err, 2);
            ::execl(VELMORBLIND_EXE, VELMORBLIND_EXE, "render", "in.png", "-o", "f_%04d.png", "--frames",
                    "0-99999", "--threads", "1", "--contact-sheet", "sheet.png", static_cast<char*>(nullptr));
            ::_exit(98);
        }
        // Once a few frames are on disk the run is well inside the sequence (ctest's timeout guards this).
        while (!fs::exists(path(frameName(2)))) ::usleep(5000);
        ::kill(child, signal);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
        const std::string said = vtest::slurp(dir_ / ".stderr");
        EXPECT_NE(said.find(signal == SIGTERM ? "interrupted by SIGTERM at frame"
                                              : "interrupted by SIGHUP at frame"),
                  std::string::npos)
            << said;
        EXPECT_NE(said.find("nor the contact sheet"), std::string::npos) << said;
        fs::remove(dir_ / ".stderr");
        EXPECT_TRUE(leftovers().empty());
        EXPECT_FALSE(fs::exists(path("sheet.png")));
        EXPECT_GE(completeFrames(), 3);
        for (const std::string& name : listing())
            if (name.rfind("f_", 0) == 0) fs::remove(path(name));
    }
}

TEST_F(OutputSafetyTest, FileSizeLimitsAndClosedPipesLeaveNoTemporaryFile) {
    // A noisy picture does not compress: its file is far over a limit of two 512-byte blocks.
    writeNoise("noise.png", 64, 64);
    writeInput("keep.png", 4, 4);
    const std::string keep = vtest::slurp(path("keep.png"));

    ToolRun r = script("ulimit -f 2; exec $VB render noise.png -o keep.png");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("cannot write \"keep.png\": file too large"), std::string::npos) << r.err;
    EXPECT_EQ(vtest::slurp(path("keep.png")), keep);
    EXPECT_TRUE(leftovers().empty());

    // The lines of -v fill the pipe long before the range ends, so the run meets the closed pipe.
    r = script("($VB render keep.png -o f_%04d.png --frames 0-99999 -v; echo $? >status) | head -2");
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2) << r.out;
    EXPECT_EQ(vtest::slurp(path("status")), "141\n") << r.err;
    EXPECT_NE(r.err.find("interrupted by SIGPIPE (standard output was closed) at frame"), std::string::npos)
        << r.err;
    EXPECT_TRUE(leftovers().empty());
    EXPECT_GE(completeFrames(), 1);
}

TEST_F(OutputSafetyTest, TemporaryFilesOfKilledRunsAreRemovedAndThoseOfLiveOnesKept) {
    writeInput("in.png");
    const pid_t gone = ::fork();
    ASSERT_GE(gone, 0);
    if (gone == 0) ::_exit(0);
    ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
    const std::string dead = ".out.png.velmorblind-" + std::to_string(gone) + "-12345-0.tmp";
    const std::string live = ".out.png.velmorblind-" + std::to_string(::getpid()) + "-12345-0.tmp";
    const std::string other = ".out.png.velmorblind-12345-0.tmp";  // no process id: not judged
    for (const std::string& name : {dead, live, other}) std::ofstream(path(name)) << "half a picture";
    const ToolRun r = run({"render", "in.png", "-o", "out.png"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "velmorblind: removed 1 temporary file left in \".\" by runs that were killed.\n");
    EXPECT_FALSE(fs::exists(path(dead)));
    EXPECT_TRUE(fs::exists(path(live)));
    EXPECT_TRUE(fs::exists(path(other)));
}

TEST_F(OutputSafetyTest, ReplacedFilesKeepTheirPermissionsAndLinkLoopsAreRefused) {
    writeInput("in.png");
    for (const fs::perms mode : {fs::perms(0600), fs::perms(0640)}) {
        writeInput("out.png", 4, 4);
        fs::permissions(path("out.png"), mode);
        const ToolRun r = run({"render", "in.png", "-o", "out.png"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(fs::status(path("out.png")).permissions(), mode);
        EXPECT_EQ(vblind::readImage(path("out.png"), std::nullopt).image.width, 16);
    }
    fs::create_symlink("loop_b.png", path("loop_a.png"));
    fs::create_symlink("loop_a.png", path("loop_b.png"));
    expectRefused({"render", "in.png", "-o", "loop_a.png"}, 1, "a symbolic link that leads round in a loop");
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(path("loop_a.png"))));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(path("loop_b.png"))));
}
