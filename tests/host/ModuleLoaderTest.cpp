// Finding, reading and loading module files, and refusing every file that is not a usable
// effect module with a message that says why.
#include "Effect.h"
#include "Host.h"
#include "Module.h"
#include "ModuleFile.h"
#include "ScratchDir.h"

#include "fixtures/FixturePipl.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace vhost {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes fileBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

fs::path scratchFile(const vtest::ScratchDir& scratch, const std::string& name, const std::string& content) {
    const fs::path file = scratch.path() / name;
    std::ofstream(file, std::ios::binary) << content;
    return file;
}

bool mentions(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(ModuleFile, ReadsThePropertyListSectionByteForByte) {
    const Bytes expected = {FX_HEAD(FX_PROPERTY_COUNT), FX_PROPERTIES};
    std::string error;
    const auto bytes = readPiplBytes(HOST_FIXTURE_GOOD, error);
    ASSERT_TRUE(bytes) << error;
    EXPECT_EQ(*bytes, expected);
}

TEST(ModuleLoader, LoadsAModuleAndRunsItsEntryPoint) {
    std::string error;
    const auto module = Module::load(HOST_FIXTURE_GOOD, error);
    ASSERT_TRUE(module) << error;
    EXPECT_EQ(module->pipl().name, "Fixture");
    EXPECT_EQ(module->pipl().matchName, "Fixture Good");
    EXPECT_EQ(module->pipl().version, 0x00098601u);
    EXPECT_EQ(module->path(), fs::path(HOST_FIXTURE_GOOD));
    ASSERT_NE(module->entryPoint(), nullptr);

    Host host{Host::Options{1}};
    Effect effect(host, module);
    std::string about;
    EXPECT_EQ(effect.about(about), PF_Err_NONE);
    EXPECT_EQ(about, "Fixture 7");  // written with the host's sprintf
    EXPECT_EQ(effect.globalSetup(), PF_Err_NONE);
    EXPECT_TRUE(host.ledger().balanced()) << host.ledger().describe();  // version matches the list
}

TEST(ModuleLoader, RefusesEachKindOfBadFileWithAClearMessage) {
    const vtest::ScratchDir scratch("velmor-loader");
    const fs::path folder = scratch.path() / "a_folder.so";
    fs::create_directories(folder);
    struct Case {
        const char* what;
        fs::path file;
        std::vector<std::string> mentions;
    };
    const Case cases[] = {
        {"missing file", scratch.path() / "nothing_here.so", {"no such file"}},
        {"folder", folder, {"folder"}},
        {"text file", scratchFile(scratch, "text.so", "just some text\n"), {"not an effect module"}},
        {"empty file", scratchFile(scratch, "empty.so", ""), {"not an effect module"}},
        {"Windows module",
         scratchFile(scratch, "win.aex", std::string("MZ") + std::string(200, '\0')),
         {"Windows module"}},
        {"object file", HOST_FIXTURE_OBJECT, {"not a shared library"}},
        {"no .pipl", HOST_FIXTURE_NO_PIPL, {"no .pipl section"}},
        {"broken .pipl", HOST_FIXTURE_BROKEN_PIPL, {"bad property list", "truncated"}},
        {"no entry point", HOST_FIXTURE_NO_ENTRY, {"EntryPointFunc", "does not export"}},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_EQ(Module::load(c.file, error), nullptr) << c.what;
        for (const std::string& part : c.mentions)
            EXPECT_TRUE(mentions(error, part)) << c.what << ": " << error;
        EXPECT_TRUE(mentions(error, c.file.string())) << c.what << ": " << error;
    }
}

// Patches a little-endian field of an ELF image.
void patch(Bytes& image, std::size_t at, int bytes, std::uint64_t value) {
    for (int i = 0; i < bytes; ++i) image[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

TEST(ModuleFile, RefusesDamagedElfFilesWithoutReadingOutsideThem) {
    const Bytes good = fileBytes(HOST_FIXTURE_GOOD);
    ASSERT_GT(good.size(), 64u);
    std::string error;
    ASSERT_TRUE(readPiplBytesFromImage(good, "good", error)) << error;

    struct Case {
        const char* what;
        std::size_t at;
        int bytes;
        std::uint64_t value;
        const char* mentions;
    };
    const Case cases[] = {
        {"32-bit class", 4, 1, 1, "not a 64-bit"},
        {"unknown byte order", 5, 1, 7, "byte order"},
        {"executable type", 16, 2, 2, "not a shared library"},
        {"no section table", 40, 8, 0, "no section table"},
        {"section table past the end", 40, 8, good.size() - 8, "outside the file"},
        {"huge section table offset", 40, 8, ~std::uint64_t{0} - 100, "outside the file"},
        {"section header size", 58, 2, 40, "section header size"},
        {"too many sections", 60, 2, 0xFFF0, "outside the file"},
        {"name table index", 62, 2, 0xFFF0, "out of range"},
    };
    for (const Case& c : cases) {
        Bytes image = good;
        patch(image, c.at, c.bytes, c.value);
        error.clear();
        EXPECT_FALSE(readPiplBytesFromImage(image, "damaged", error)) << c.what;
        EXPECT_TRUE(mentions(error, c.mentions)) << c.what << ": " << error;
    }

    // Every prefix of the file: refused or read, never a read past the end (the sanitizer build
    // turns one into a failure).
    for (std::size_t size = 0; size < good.size(); size += 7) {
        const Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size));
        error.clear();
        if (!readPiplBytesFromImage(cut, "cut", error)) {
            EXPECT_FALSE(error.empty()) << size;
        }
    }
}

TEST(ModuleSearch, FindsAModuleInTheFirstFolderHoldingIt) {
    const fs::path fixtureDir = fs::path(HOST_FIXTURE_GOOD).parent_path();
    const std::string name = fs::path(HOST_FIXTURE_GOOD).filename().string();
    const vtest::ScratchDir scratch("velmor-loader");
    const auto found = findModule(name, {fs::path(), scratch.path() / "nowhere", fixtureDir});
    ASSERT_TRUE(found);
    EXPECT_EQ(*found, fixtureDir / name);
    EXPECT_FALSE(findModule(name, {scratch.path() / "nowhere"}));
    EXPECT_FALSE(findModule("fixture_missing.so", {fixtureDir}));
    // A folder of that name is not a module.
    fs::create_directories(scratch.path() / "dir_named.so");
    EXPECT_FALSE(findModule("dir_named.so", {scratch.path()}));
    EXPECT_EQ(moduleFileName("VelmorBlind"), "VelmorBlind.so");
    const auto dirs = defaultModuleDirs();
    ASSERT_EQ(dirs.size(), 1u);
    EXPECT_TRUE(fs::exists(dirs[0] / "host_core_tests"));  // the folder this program runs from
}

}  // namespace
}  // namespace vhost
