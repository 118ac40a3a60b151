// Rectangles and vectors: ordering, truncation and the precision each instantiation works in.
#include "VelmorGeneral.h"

#include <gtest/gtest.h>

#include <cmath>
#include <type_traits>

using namespace Velmor;

TEST(Rect, DoubleCornersAreOrderedThenTruncatedTowardZero) {
    const Rect r(Vector<double>(10.9, 2.7), Vector<double>(-0.5, -3.2));
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, -3);
    EXPECT_EQ(r.right, 10);
    EXPECT_EQ(r.bottom, 2);

    // Negative fractions truncate up to 0, never down to -1.
    Rect s;
    s.setRect(Vector<double>(-0.2, 5.5), Vector<double>(-0.9, -7.99));
    EXPECT_EQ(s, Rect(0, -7, 0, 5));
}

TEST(Rect, IntCornersAreOrderedPerAxis) {
    const Rect r(Vector<int>(8, -1), Vector<int>(2, 4));
    EXPECT_EQ(r, Rect(2, -1, 8, 4));
    Rect s(1, 1, 1, 1);
    s.setRect(Vector<int>(3, 9), Vector<int>(7, 2));
    EXPECT_EQ(s, Rect(3, 2, 7, 9));
}

TEST(Rect, FourIntsAreKeptAsGivenEvenReversed) {
    const Rect r(8, 0, 2, 4);
    EXPECT_EQ(r.left, 8);
    EXPECT_EQ(r.right, 2);
    EXPECT_EQ(r.getWidth(), -6);
    EXPECT_EQ(r.getHeight(), 4);
    EXPECT_TRUE(r.isEmpty());

    EXPECT_TRUE(Rect(5, 0, 5, 10).isEmpty());
    EXPECT_TRUE(Rect(0, 3, 10, 3).isEmpty());
    EXPECT_TRUE(Rect().isEmpty());
    EXPECT_FALSE(Rect(5, 0, 6, 1).isEmpty());
    EXPECT_FALSE(Rect(-10, -10, -9, -9).isEmpty());
}

TEST(Rect, HostRectanglesRoundTripAndCornersReadBack) {
    const PF_LRect host{-3, 7, 1920, 1080};
    Rect r(host);
    EXPECT_EQ(r, Rect(-3, 7, 1920, 1080));
    const PF_LRect back = aeRect(r);
    EXPECT_EQ(back.left, -3);
    EXPECT_EQ(back.top, 7);
    EXPECT_EQ(back.right, 1920);
    EXPECT_EQ(back.bottom, 1080);
    EXPECT_EQ(r.getLeftTop().x, -3);
    EXPECT_EQ(r.getLeftTop().y, 7);
    EXPECT_EQ(r.getRightBottom().x, 1920);
    EXPECT_EQ(r.getRightBottom().y, 1080);

    r.setRect(PF_LRect{1, 2, 3, 4});
    EXPECT_EQ(r, Rect(1, 2, 3, 4));
    // Each field takes part in the comparison.
    EXPECT_NE(r, Rect(0, 2, 3, 4));
    EXPECT_NE(r, Rect(1, 0, 3, 4));
    EXPECT_NE(r, Rect(1, 2, 0, 4));
    EXPECT_NE(r, Rect(1, 2, 3, 0));
}

TEST(Vector, NormalizeStoresQuotientsInTheVectorsOwnType) {
    Vector<double> zero;
    zero.normalize();
    EXPECT_EQ(zero.x, 0.0);
    EXPECT_EQ(zero.y, 0.0);

    Vector<int> a(3, 4);
    a.normalize();
    EXPECT_EQ(a.x, 0);  // 0.6 truncated
    EXPECT_EQ(a.y, 0);
    Vector<int> b(5, 0);
    b.normalize();
    EXPECT_EQ(b.x, 1);
    EXPECT_EQ(b.y, 0);
    Vector<int> c(-5, 0);
    c.normalize();
    EXPECT_EQ(c.x, -1);

    Vector<double> d(3, -4);
    d.normalize();
    EXPECT_EQ(d.x, 0.6);
    EXPECT_EQ(d.y, -0.8);
    Vector<float> f(3, 4);
    f.normalize();
    EXPECT_EQ(f.x, 0.6f);
    EXPECT_EQ(f.y, 0.8f);
}

TEST(Vector, LengthIsDoubleButSquaresStayInTheComponentType) {
    static_assert(std::is_same_v<decltype(Vector<float>().length()), double>);
    static_assert(std::is_same_v<decltype(Vector<int>().length()), double>);
    static_assert(std::is_same_v<decltype(Vector3d<float>().length()), float>);
    static_assert(std::is_same_v<decltype(Vector3d<double>().length()), double>);

    EXPECT_EQ(Vector<double>(3, 4).length(), 5.0);
    EXPECT_EQ(Vector<int>(-6, 8).length(), 10.0);
    // Single-precision squares overflow before the widening; double ones do not.
    EXPECT_TRUE(std::isinf(Vector<float>(1e20f, 1e20f).length()));
    EXPECT_FALSE(std::isinf(Vector<double>(1e20, 1e20).length()));
    // 46341^2 wraps past 2^31 in 32-bit arithmetic and goes negative: no real root.
    EXPECT_TRUE(std::isnan(Vector<int>(46341, 0).length()));
    EXPECT_EQ(Vector<int>(46340, 0).length(), 46340.0);
}

TEST(Vector, CompoundOperatorsWorkPerComponent) {
    Vector<int> v(-7, 7);
    v /= 2;
    EXPECT_EQ(v.x, -3);  // toward zero
    EXPECT_EQ(v.y, 3);
    v *= Vector<int>(2, -3);
    EXPECT_EQ(v.x, -6);
    EXPECT_EQ(v.y, -9);
    v /= Vector<int>(4, 2);
    EXPECT_EQ(v.x, -1);
    EXPECT_EQ(v.y, -4);
    v += Vector<int>(10, 20);
    v -= Vector<int>(1, 1);
    EXPECT_EQ(v.x, 8);
    EXPECT_EQ(v.y, 15);

    Vector<double> s(2.5);
    EXPECT_EQ(s.x, 2.5);
    EXPECT_EQ(s.y, 2.5);
    s *= 2.0;
    EXPECT_EQ(s.y, 5.0);

    const Vector<double> a(1.5, -2.0), b(4.0, 0.25);
    EXPECT_EQ(a.dot(b), 5.5);
    EXPECT_EQ(a.cross(b), 8.375);
    EXPECT_EQ(Vector<int>(2, 3).cross(Vector<int>(5, 7)), -1);
}

TEST(Vector3d, CrossReturnsANewVectorAndLengthStaysInT) {
    Vector3d<double> a(1, 0, 0);
    const Vector3d<double> c = a.cross(Vector3d<double>(0, 1, 0));
    EXPECT_EQ(c.x, 0.0);
    EXPECT_EQ(c.y, 0.0);
    EXPECT_EQ(c.z, 1.0);
    EXPECT_EQ(a.x, 1.0);  // unchanged
    const Vector3d<double> d = Vector3d<double>(1, 2, 3).cross(Vector3d<double>(4, 5, 6));
    EXPECT_EQ(d.x, -3.0);
    EXPECT_EQ(d.y, 6.0);
    EXPECT_EQ(d.z, -3.0);
    EXPECT_EQ(Vector3d<double>(1, 2, 3).dot(Vector3d<double>(4, -5, 6)), 12.0);

    EXPECT_EQ(Vector3d<float>(2, 3, 6).length(), 7.0f);
    EXPECT_TRUE(std::isinf(Vector3d<float>(1e20f, 0, 0).length()));

    Vector3d<float> n(0, 3, 4);
    n.normalize();
    EXPECT_EQ(n.y, 0.6f);
    EXPECT_EQ(n.z, 0.8f);
    Vector3d<double> z;
    z.normalize();
    EXPECT_EQ(z.x, 0.0);

    Vector3d<double> m(1, 2, 3);
    m *= Vector3d<double>(2, 2, 2);
    m -= Vector3d<double>(1, 1, 1);
    m /= 2.0;
    EXPECT_EQ(m.x, 0.5);
    EXPECT_EQ(m.z, 2.5);
}
