// velmorblind: renders the VelmorBlind transition from the command line through the stand-in host.
#include "Cli.h"
#include "Error.h"
#include "Info.h"
#include "OutputFile.h"
#include "Sequence.h"

#include <cerrno>
#include <exception>
#include <iostream>
#include <new>

// OpenImageIO's PNG reader leaks its error text when libpng long-jumps out of a damaged file (a few
// bytes per failed read, never on a good file). Leak checking in sanitizer builds is told about
// that one place; everything else stays checked.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:OpenImageIO_v2_4::PNGInput::PngReadCallback\n";
}
// The library is built without frame pointers: a leak's allocation stack reaches that place only
// with the slower full unwinder.
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }
// Saying that the suppression was used would break the one-sentence error.
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }
// Frames are written from several threads. OpenImageIO's string table guards itself with spin
// locks inside the (uninstrumented) library, which the thread sanitizer cannot see.
extern "C" const char* __tsan_default_suppressions() { return "race:OpenImageIO_v2_4::ustring::\n"; }

namespace {

// What was printed must have arrived: output to a full disk (>/dev/full) or a closed descriptor
// (>&-) fails the command.
void checkStandardOutput() {
    errno = 0;
    std::cout.flush();
    if (std::cout) return;
    const int err = errno;
    vblind::failure("cannot write to standard output" +
                    (err == EBADF ? std::string(": it is closed")
                     : err        ? ": " + vblind::fileErrorReason(err)
                                  : std::string()) +
                    ".");
}

}  // namespace

int main(int argc, char** argv) {
    using namespace vblind;
    try {
        const auto cl = parseCommandLine(argc, argv, std::cout, declaredControlNames);
        if (!cl) {
            checkStandardOutput();
            return kExitOk;
        }
        switch (cl->command) {
            case Command::Version: printVersions(std::cout); break;
            case Command::Info: runInfo(cl->info.module, std::cout); break;
            case Command::Render: runRender(cl->render, std::cout, std::cerr); break;
            case Command::Demo: runDemo(cl->demo, std::cout, std::cerr); break;
        }
        checkStandardOutput();
        return kExitOk;
    } catch (const ToolError& e) {
        std::cout.flush();
        std::cerr << "velmorblind: " << e.what() << std::endl;
        return e.status();
    } catch (const std::bad_alloc&) {
        std::cerr << "velmorblind: out of memory." << std::endl;
        return kExitFailure;
    } catch (const std::exception& e) {
        std::cerr << "velmorblind: unexpected error: " << e.what() << "." << std::endl;
        return kExitFailure;
    }
}
