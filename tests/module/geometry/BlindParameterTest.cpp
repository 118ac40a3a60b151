// Blind::Parameter: the defaults the render path relies on, and setters that chain and store
// exactly what they are given (no clamping, no validation).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "BlindTestSupport.h"

using namespace vtest;

TEST(BlindParameter, DefaultsAreTheDocumentedOnes) {
    const Blind::Parameter p;
    EXPECT_EQ(p.in_data(), nullptr);
    EXPECT_EQ(p.layer_rect().left, 0);
    EXPECT_EQ(p.layer_rect().top, 0);
    EXPECT_EQ(p.layer_rect().right, 0);
    EXPECT_EQ(p.layer_rect().bottom, 0);
    EXPECT_TRUE(p.is_aa());
    EXPECT_EQ(p.mode(), 1);
    EXPECT_EQ(p.completion(), 0.0);
    EXPECT_EQ(p.delay(), 0.0);
    EXPECT_EQ(p.width(), 1.0);
    EXPECT_EQ(p.direction(), 90.0);
    EXPECT_EQ(p.offset(), 0.0);
    EXPECT_EQ(p.order(), 1);
    EXPECT_EQ(p.seed(), 0);
    EXPECT_EQ(p.easing_type(), 1);
    EXPECT_EQ(p.easing_mode(), 3);
    EXPECT_EQ(p.state(), 1);
    EXPECT_EQ(p.border_type(), 1);
}

TEST(BlindParameter, SettersChainAndStoreValuesUnchecked) {
    PF_InData in_data{};
    Blind::Parameter p;
    Blind::Parameter& same = p.setInData(&in_data)
                                 .setLayerRect(rect(-3, 4, 1000, -7))
                                 .setIsAA(false)
                                 .setMode(7)
                                 .setCompletion(1.5)
                                 .setDelay(-0.25)
                                 .setWidth(0x1.8p-3)
                                 .setDirection(-12.5)
                                 .setOffset(2.0)
                                 .setOrder(0)
                                 .setSeed(-99)
                                 .setEasingType(42)
                                 .setEasingMode(-1)
                                 .setState(9)
                                 .setBorderType(5);
    EXPECT_EQ(&same, &p);
    EXPECT_EQ(p.in_data(), &in_data);
    EXPECT_EQ(p.layer_rect().left, -3);
    EXPECT_EQ(p.layer_rect().top, 4);
    EXPECT_EQ(p.layer_rect().right, 1000);
    EXPECT_EQ(p.layer_rect().bottom, -7);
    EXPECT_FALSE(p.is_aa());
    EXPECT_EQ(p.mode(), 7);
    EXPECT_EQ(p.completion(), 1.5);
    EXPECT_EQ(p.delay(), -0.25);
    EXPECT_EQ(p.width(), 0x1.8p-3);
    EXPECT_EQ(p.direction(), -12.5);
    EXPECT_EQ(p.offset(), 2.0);
    EXPECT_EQ(p.order(), 0);
    EXPECT_EQ(p.seed(), -99);
    EXPECT_EQ(p.easing_type(), 42);
    EXPECT_EQ(p.easing_mode(), -1);
    EXPECT_EQ(p.state(), 9);
    EXPECT_EQ(p.border_type(), 5);

    p.setWidth(std::numeric_limits<double>::quiet_NaN());
    EXPECT_TRUE(std::isnan(p.width()));
}

TEST(BlindImplStep, ClampsToTheUnitRange) {
    EXPECT_EQ(Access::step(-0.5), 0.0);
    EXPECT_EQ(Access::step(0.0), 0.0);
    EXPECT_EQ(Access::step(0x1.5555555555555p-2), 0x1.5555555555555p-2);
    EXPECT_EQ(Access::step(1.0), 1.0);
    EXPECT_EQ(Access::step(1.7), 1.0);
    EXPECT_EQ(Access::step(-std::numeric_limits<double>::infinity()), 0.0);
    EXPECT_EQ(Access::step(std::numeric_limits<double>::infinity()), 1.0);
}
