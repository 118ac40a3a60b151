// A failed session as the renderer reports it: the session's sentence unchanged, exit status 1.
#include "Error.h"
#include "HostBridge.h"
#include "SessionError.h"

#include <gtest/gtest.h>

#include <string>

using namespace vblind;

namespace {

TEST(SessionFailure, BecomesAFailureWithTheSameSentence) {
    try {
        sessionFailure(vsession::SessionError("the module's render of frame 3 failed with host error 4.", 4));
        ADD_FAILURE() << "returned";
    } catch (const ToolError& e) {
        EXPECT_EQ(e.status(), kExitFailure);
        EXPECT_STREQ(e.what(), "the module's render of frame 3 failed with host error 4.");
    }
    SessionOptions options;
    options.module = "/nonexistent/VelmorBlind.so";
    try {
        EffectSession session(options);
        ADD_FAILURE() << "a module that is not there was loaded";
    } catch (const ToolError& e) {
        EXPECT_EQ(e.status(), kExitFailure);
        EXPECT_EQ(std::string(e.what()).rfind("cannot load the module: ", 0), 0u) << e.what();
    }
}

}  // namespace
