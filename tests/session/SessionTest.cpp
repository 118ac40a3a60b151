// A session's failures: each a SessionError with the sentence a user reads and the host's code,
// and renders that are not trusted when the host saw something wrong.
#include "Session.h"
#include "SessionError.h"

#include "Effect.h"
#include "Ledger.h"
#include "Module.h"

#include <gtest/gtest.h>

#include <string>
#include <type_traits>

using namespace vsession;

namespace {

// The sentence and code of the SessionError `f` throws.
template <typename F>
SessionError thrown(F f) {
    try {
        f();
    } catch (const SessionError& e) {
        return e;
    }
    ADD_FAILURE() << "no SessionError";
    return SessionError("");
}

TEST(Session, FailuresNameTheCommandAndKeepTheHostsCode) {
    const SessionError missing = thrown([] { loadModule("/nonexistent/VelmorBlind.so"); });
    EXPECT_EQ(std::string(missing.what()).rfind("cannot load the module: ", 0), 0u) << missing.what();
    EXPECT_EQ(missing.err(), PF_Err_NONE);

    Session session(loadModule(VELMOR_MODULE_PATH), vhost::Host::Options{1});
    session.host().ledger().failOpAlways("add_param", PF_Err_OUT_OF_MEMORY);
    const SessionError setUp = thrown([&] { session.setUp(); });
    EXPECT_EQ(setUp.err(), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(std::string(setUp.what())
                  .rfind("the module's parameter set-up failed with host error 4 "
                         "(PF_Err_OUT_OF_MEMORY)",
                         0),
              0u)
        << setUp.what();
    EXPECT_EQ(std::string(setUp.what()).back(), '.');
    // An error carries no exit status: what a failure means is the program's to say.
    static_assert(std::is_base_of_v<std::runtime_error, SessionError>);
}

TEST(Session, ARenderTheHostCannotTrustIsRefused) {
    Session session(loadModule(VELMOR_MODULE_PATH), vhost::Host::Options{1});
    session.setUp();
    const vhost::Image input(8, 6, vhost::Depth::Bits8);
    vhost::RenderOptions options;
    const vhost::Image good = session.renderTrusted(input, options, 0);
    EXPECT_EQ(good.width, 8);

    session.host().ledger().failOpAlways("checkout_param", PF_Err_INTERNAL_STRUCT_DAMAGED);
    vhost::Image output;
    const RenderCheck check = session.render(input, output, options);
    EXPECT_FALSE(check.trusted());
    EXPECT_EQ(check.err, PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_TRUE(check.preRender);
    // Each render empties the host's log, and the failures injected with it.
    session.host().ledger().failOpAlways("checkout_param", PF_Err_INTERNAL_STRUCT_DAMAGED);
    const SessionError e = thrown([&] { session.renderTrusted(input, options, 7); });
    EXPECT_EQ(e.err(), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(std::string(e.what()).rfind("the module's pre-render of frame 7 failed with host error 512", 0),
              0u)
        << e.what();
}

}  // namespace
