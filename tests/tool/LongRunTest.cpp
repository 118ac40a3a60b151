// A long range costs no more memory than a short one: nothing the renderer or its host keeps grows
// with the frames rendered.
#include "ToolRunner.h"

namespace fs = std::filesystem;

namespace {

class LongRunTest : public vtest::ToolTest {};

// Twenty thousand files, each written through a temporary file that is flushed to the device: on a
// memory-backed folder that costs nothing, on a disk it would dominate the run.
fs::path memoryBackedFolder() {
    std::error_code ec;
    const fs::path shm = "/dev/shm";
    return fs::is_directory(shm, ec) ? shm : fs::temp_directory_path();
}

}  // namespace

TEST_F(LongRunTest, PeakMemoryOfTwentyThousandFramesIsThatOfTwoHundred) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers hold freed memory and history back on purpose, so peak memory grows "
                    "with any run; the default build measures it";
#endif
    writeInput("in.png", 4, 4);
    const vtest::ScratchDir folder("velmorblind-frames", memoryBackedFolder());
    const fs::path& out = folder.path();
    auto peak = [&](int frames, bool extras) {
        std::vector<std::string> args{VELMORBLIND_EXE,
                                      "render",
                                      path("in.png"),
                                      "-o",
                                      (out / "f_%05d.png").string(),
                                      "--frames",
                                      "0-" + std::to_string(frames - 1),
                                      "-q"};
        if (extras)
            args.insert(args.end(), {"--contact-sheet", (out / "sheet.png").string(), "--under", "#203040"});
        int status = -1;
        const long kb = vtest::peakKilobytes(args, status);
        EXPECT_EQ(status, 0) << frames << " frames";
        char last[32];
        std::snprintf(last, sizeof last, "f_%05d.png", frames - 1);
        EXPECT_TRUE(fs::exists(out / last)) << last;
        return kb;
    };
    for (bool extras : {false, true}) {
        const long shortRun = peak(200, extras);
        const long longRun = peak(20000, extras);
        EXPECT_LT(longRun, shortRun + 8 * 1024)
            << (extras ? "with contact sheet and background: " : "") << "200 frames peak at " << shortRun
            << " KiB, 20,000 at " << longRun << " KiB";
    }
}
