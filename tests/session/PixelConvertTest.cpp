// Channel conversions between files and the host, value by value.
#include "PixelConvert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace vsession::px;

TEST(SixteenBit, EveryHostValueSurvivesSaveAndLoad) {
    for (std::uint32_t ae = 0; ae <= 32768; ++ae) {
        const std::uint16_t v = file16FromHost(static_cast<std::uint16_t>(ae));
        ASSERT_EQ(hostFromFile16(v), ae) << "host value " << ae << " saved as " << v;
    }
}

TEST(SixteenBit, SaveAndLoadFollowTheIntegerFormulas) {
    // save v = (ae * 65535 + 16384) / 32768
    EXPECT_EQ(file16FromHost(0), 0);
    EXPECT_EQ(file16FromHost(1), 2);
    EXPECT_EQ(file16FromHost(16383), 32766);
    EXPECT_EQ(file16FromHost(16384), 32768);
    EXPECT_EQ(file16FromHost(32767), 65533);
    EXPECT_EQ(file16FromHost(32768), 65535);
    // load ae = (v * 32768 + 32767) / 65535
    EXPECT_EQ(hostFromFile16(0), 0);
    EXPECT_EQ(hostFromFile16(1), 1);
    EXPECT_EQ(hostFromFile16(2), 1);
    EXPECT_EQ(hostFromFile16(32767), 16384);
    EXPECT_EQ(hostFromFile16(32768), 16384);
    EXPECT_EQ(hostFromFile16(65534), 32767);
    EXPECT_EQ(hostFromFile16(65535), 32768);
    // Loaded values never pass full scale.
    for (std::uint32_t v = 0; v <= 65535; ++v)
        ASSERT_LE(hostFromFile16(static_cast<std::uint16_t>(v)), 32768);
}

TEST(SixteenBit, OutOfScaleHostValuesAreClampedWhenSaved) {
    EXPECT_EQ(file16FromHost(40000), 65535);
    EXPECT_EQ(file16FromHost(65535), 65535);
    EXPECT_EQ(file8FromHost16(65535), 255);
}

TEST(DepthOnLoad, EightBitTo16RoundsToNearest) {
    // (v * 32768 + 127) / 255
    EXPECT_EQ(host16From8(0), 0);
    EXPECT_EQ(host16From8(1), 129);
    EXPECT_EQ(host16From8(127), 16320);
    EXPECT_EQ(host16From8(128), 16448);
    EXPECT_EQ(host16From8(254), 32639);
    EXPECT_EQ(host16From8(255), 32768);
}

TEST(DepthOnLoad, ToFloatDividesByTheFileScale) {
    EXPECT_EQ(floatFrom8(0), 0.0f);
    EXPECT_EQ(floatFrom8(255), 1.0f);
    EXPECT_EQ(floatFrom8(51), 0x1.99999ap-3f);
    EXPECT_EQ(floatFrom8(1), 0x1.010102p-8f);
    EXPECT_EQ(floatFromFile16(65535), 1.0f);
    EXPECT_EQ(floatFromFile16(1), 0x1.0001p-16f);
    EXPECT_EQ(floatFromHost16(1), 0x1p-15f);
    EXPECT_EQ(floatFromHost16(32768), 1.0f);
}

TEST(DepthOnLoad, SixteenBitFileTo8RoundsToNearest) {
    EXPECT_EQ(host8FromFile16(0), 0);
    EXPECT_EQ(host8FromFile16(128), 0);  // 0.498 of a step
    EXPECT_EQ(host8FromFile16(129), 1);  // 0.502 of a step
    EXPECT_EQ(host8FromFile16(32896), 128);
    EXPECT_EQ(host8FromFile16(65535), 255);
}

TEST(Quantize, FloatClampsAndRoundsToNearest) {
    EXPECT_EQ(to8(-0.25f), 0);
    EXPECT_EQ(to8(0.0f), 0);
    EXPECT_EQ(to8(1.0f / 510.0f * 0.999f), 0);
    EXPECT_EQ(to8(0.5f), 128);  // 127.5 rounds up
    EXPECT_EQ(to8(1.0f), 255);
    EXPECT_EQ(to8(7.5f), 255);
    EXPECT_EQ(to8(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(to8(std::numeric_limits<float>::infinity()), 255);
    EXPECT_EQ(toFile16(0.5f), 32768);  // 32767.5 rounds up
    EXPECT_EQ(toFile16(2.0f), 65535);
    EXPECT_EQ(toHost16(0.5f), 16384);
    EXPECT_EQ(toHost16(1.5f), 32768);
    EXPECT_EQ(toHost16(-1.0f), 0);
}

TEST(Table, EachPairUsesItsFormula) {
    // file -> host
    EXPECT_EQ((toHost<std::uint16_t, std::uint16_t>(65535)), 32768);
    EXPECT_EQ((toHost<std::uint8_t, std::uint8_t>(77)), 77);
    EXPECT_EQ((toHost<std::uint16_t, std::uint8_t>(1)), 129);
    EXPECT_EQ((toHost<float, std::uint16_t>(65535)), 1.0f);
    EXPECT_EQ((toHost<std::uint8_t, float>(0.5f)), 128);
    EXPECT_EQ((toHost<std::uint16_t, float>(0.25f)), 8192);
    EXPECT_EQ((toHost<float, float>(-3.5f)), -3.5f);  // float stays unclamped
    // host -> file
    EXPECT_EQ((toFile<std::uint16_t, std::uint16_t>(32768)), 65535);
    EXPECT_EQ((toFile<std::uint16_t, std::uint8_t>(255)), 65535);
    EXPECT_EQ((toFile<std::uint16_t, std::uint8_t>(1)), 257);
    EXPECT_EQ((toFile<std::uint8_t, std::uint16_t>(16384)), 128);
    EXPECT_EQ((toFile<float, std::uint16_t>(16384)), 0.5f);
    EXPECT_EQ((toFile<std::uint16_t, float>(1.0f)), 65535);
    EXPECT_EQ((toFile<float, float>(2.5f)), 2.5f);
}
