// Background colours as the command line writes them.
#include "Colour.h"
#include "Error.h"

#include <gtest/gtest.h>

#include <string>

using namespace vblind;

TEST(Colour, ParsesHexWithAndWithoutAlpha) {
    PF_Pixel c = parseColour("#1E90ff");
    EXPECT_EQ(c.red, 0x1E);
    EXPECT_EQ(c.green, 0x90);
    EXPECT_EQ(c.blue, 0xFF);
    EXPECT_EQ(c.alpha, 255);
    c = parseColour("#00000080");
    EXPECT_EQ(c.alpha, 0x80);
    for (const char* bad : {"#", "#12345", "#1234567", "#GG0000", "123456", "#12 456", "#123456789"}) {
        try {
            parseColour(bad);
            ADD_FAILURE() << bad << " accepted";
        } catch (const ToolError& e) {
            EXPECT_EQ(e.status(), kExitUsage);
            EXPECT_NE(std::string(e.what()).find("#RRGGBB"), std::string::npos);
        }
    }
}
