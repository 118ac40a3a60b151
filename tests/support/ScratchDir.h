// A scratch folder for one test: made empty under the system's temporary folder (or another parent)
// when the object is made, and removed with everything in it when the object goes. Its name holds
// the running test's name and a random number, since the same test may run at once from another
// build folder.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>

namespace vtest {

class ScratchDir {
public:
    // `prefix` says whose folder it is (for instance "velmorblind-tool") to whoever finds one left
    // behind by a test that was killed.
    explicit ScratchDir(const std::string& prefix,
                        const std::filesystem::path& parent = std::filesystem::temp_directory_path())
        : path_(parent / (prefix + "-" + testName() + "-" + std::to_string(std::random_device{}()))) {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ignored;  // a destructor must not throw; a folder left behind is harmless
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // A path inside the folder, as a string for the APIs that take one.
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    // The running test's name with the '/' of parameterised tests made harmless; "none" outside a test.
    static std::string testName() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = info ? info->name() : "none";
        std::replace(name.begin(), name.end(), '/', '_');
        return name;
    }

    std::filesystem::path path_;
};

}  // namespace vtest
