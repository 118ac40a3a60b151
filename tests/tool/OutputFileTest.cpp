// Writing files whole or not at all: a write that fails part way (the test hook makes the device
// "full" after a number of bytes) leaves an existing file as it was and no temporary file.
#include "Error.h"
#include "ImageIO.h"
#include "Notes.h"
#include "OutputFile.h"
#include "ScratchDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;
using namespace vblind;

namespace {

std::string bytesOf(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

class OutputFileTest : public ::testing::Test {
protected:
    void TearDown() override { failWritesAfterForTesting(-1); }
    std::size_t entries() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
    }
    const vtest::ScratchDir scratch_{"velmorblind-outputfile"};
    const fs::path dir_ = scratch_.path();
};

vhost::Image noise(int w, int h) {
    vhost::Image image(w, h, vhost::Depth::Bits8);
    std::mt19937 random(3);
    for (auto& b : image.bytes) b = static_cast<std::uint8_t>(random());
    return image;
}

}  // namespace

TEST_F(OutputFileTest, AFailedWriteKeepsTheOldFileAndLeavesNoTemporaryFile) {
    std::ostringstream said;
    Notes notes(said);
    for (const char* name : {"a.png", "a.tif", "a.exr", "a.jpg"}) {
        const fs::path target = dir_ / name;
        writeImage(target.string(), noise(8, 8), notes);
        const std::string before = bytesOf(target);
        for (long long budget : {0LL, 100LL, 4000LL}) {
            failWritesAfterForTesting(budget);
            try {
                writeImage(target.string(), noise(64, 64), notes);
                ADD_FAILURE() << name << " written despite a full device after " << budget << " bytes";
            } catch (const ToolError& e) {
                EXPECT_EQ(e.status(), kExitFailure);
                EXPECT_EQ(std::string(e.what()),
                          "cannot write \"" + target.string() + "\": no space left on the device.")
                    << name << " " << budget;
            }
            failWritesAfterForTesting(-1);
            EXPECT_EQ(bytesOf(target), before) << name << " " << budget;
            EXPECT_EQ(entries(), 1u) << name << " " << budget;  // the old file only
        }
        fs::remove(target);
    }
}

TEST_F(OutputFileTest, TemporaryNamesFitTheFileSystemAndLinksAreFollowed) {
    // A 255-byte name is legal; the temporary name beside it must be too.
    const fs::path longest = dir_ / (std::string(251, 'x') + ".png");
    {
        TempOutput temp(longest);
        EXPECT_LE(temp.tempPath().filename().string().size(), 255u);
        EXPECT_TRUE(fs::exists(temp.tempPath()));
    }
    EXPECT_EQ(entries(), 0u);  // not committed: removed
    fs::create_symlink("elsewhere/real.png", dir_ / "dangling.png");
    fs::create_symlink("dangling.png", dir_ / "chain.png");
    EXPECT_EQ(resolveDestination(dir_ / "chain.png"), dir_ / "elsewhere/real.png");
    EXPECT_EQ(resolveDestination(dir_ / "plain.png"), dir_ / "plain.png");
}
