// Running the built program as a user does, in a scratch folder of its own: exit status, what it
// prints, and what it leaves on disk.
#pragma once

#include "ImageIO.h"
#include "Notes.h"
#include "ScratchDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace vtest {

namespace fs = std::filesystem;

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string slurp(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

inline std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

#if !defined(_WIN32)
// The peak memory of a run of the program (args[0] is its path), from the kernel's account of the
// finished child; its output is thrown away.
inline long peakKilobytes(const std::vector<std::string>& args, int& status) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int raw = 0;
    struct rusage usage {};
    ::wait4(child, &raw, 0, &usage);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return usage.ru_maxrss;
}
#endif

class ToolTest : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    ToolRun run(const std::vector<std::string>& args) const {
        std::string cmd = shellQuote(VELMORBLIND_EXE);
        for (const std::string& a : args) cmd += " " + shellQuote(a);
        return capture(cmd);
    }

    // A shell script run in the scratch folder with $VB naming the program, for what the argument
    // list of run() cannot say (limits, pipes, closed or full outputs). Its stdout and stderr are
    // caught unless the script sends them elsewhere; the status is the script's.
    ToolRun script(const std::string& text) const {
        return capture("VB=" + shellQuote(VELMORBLIND_EXE) + " && export VB && sh -c " + shellQuote(text));
    }

    // Runs a shell command in the scratch folder, stdin empty, stdout and stderr caught.
    ToolRun capture(const std::string& command) const {
        const std::string cmd = "cd " + shellQuote(dir_.string()) + " && " + command + " </dev/null >" +
                                shellQuote((dir_ / ".stdout").string()) + " 2>" +
                                shellQuote((dir_ / ".stderr").string());
        const int raw = std::system(cmd.c_str());
        ToolRun r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = slurp(dir_ / ".stdout");
        r.err = slurp(dir_ / ".stderr");
        fs::remove(dir_ / ".stdout");
        fs::remove(dir_ / ".stderr");
        return r;
    }

    std::vector<std::string> listing() const {
        std::vector<std::string> names;
        for (const auto& e : fs::recursive_directory_iterator(dir_))
            names.push_back(
                e.path().lexically_relative(dir_).string());  // links unresolved: a loop is a name too
        std::sort(names.begin(), names.end());
        return names;
    }

    void writeInput(const std::string& name, int w = 16, int h = 12) const {
        vhost::Image image(w, h, vhost::Depth::Bits8);
        for (std::size_t i = 0; i < image.bytes.size(); ++i)
            image.bytes[i] = static_cast<std::uint8_t>(i * 7);
        std::ostringstream ignored;
        vblind::Notes notes(ignored);
        vblind::writeImage(path(name), image, notes);
    }

    // A refused command: the status, exactly one line on stderr that says what, nothing new on disk.
    void expectRefused(const std::vector<std::string>& args, int status, const std::string& fragment) {
        const auto before = listing();
        const ToolRun r = run(args);
        std::string shown;
        for (const auto& a : args) shown += a + " ";
        EXPECT_EQ(r.status, status) << shown << "\n" << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << shown << "\n" << r.err;
        EXPECT_EQ(r.err.rfind("velmorblind: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(fragment), std::string::npos) << shown << "\n" << r.err;
        EXPECT_EQ(listing(), before) << shown;
    }

    const ScratchDir scratch_{"velmorblind-tool"};
    const fs::path dir_ = scratch_.path();
};

}  // namespace vtest
