// The private-state holder and the shared array: ownership, copies and single deletion.
#include "Pimpl.h"
#include "shared_array.h"

#include <gtest/gtest.h>

#include <utility>

using namespace Velmor;

namespace {

// Counts its constructions, copies, assignments and destructions.
struct Tracked {
    static int made, destroyed, assigned;
    int value;

    Tracked() : value(0) { ++made; }
    explicit Tracked(int v) : value(v) { ++made; }
    Tracked(const Tracked& o) : value(o.value) { ++made; }
    Tracked& operator=(const Tracked& o) {
        value = o.value;
        ++assigned;
        return *this;
    }
    ~Tracked() { ++destroyed; }

    static void reset() { made = destroyed = assigned = 0; }
};
int Tracked::made = 0;
int Tracked::destroyed = 0;
int Tracked::assigned = 0;

// An owner in the framework's pattern: one holder, made in the constructor, deleted in the
// destructor; copies clone, assignment copies the state across.
class Owner {
public:
    explicit Owner(int v) : _holder(new ImplHolder<Tracked>(new Tracked(v))) {}
    Owner(const Owner& o) : _holder(o._holder->Clone()) {}
    Owner& operator=(const Owner& o) {
        o._holder->CopyTo(_holder);
        return *this;
    }
    ~Owner() { delete _holder; }

    Tracked* state() { return static_cast<Tracked*>(_holder->GetPtr()); }

private:
    ImplHolderBase* _holder;
};

class HolderTest : public ::testing::Test {
protected:
    void SetUp() override { Tracked::reset(); }
};

}  // namespace

TEST_F(HolderTest, OwnerDeletesItsStateExactlyOnce) {
    {
        Owner o(7);
        EXPECT_EQ(o.state()->value, 7);
        EXPECT_EQ(Tracked::made, 1);
        EXPECT_EQ(Tracked::destroyed, 0);
    }
    EXPECT_EQ(Tracked::made, 1);
    EXPECT_EQ(Tracked::destroyed, 1);

    { ImplHolder<Tracked> empty(nullptr); }  // a null state is allowed
    EXPECT_EQ(Tracked::destroyed, 1);
}

TEST_F(HolderTest, CloneGivesAnIndependentCopy) {
    ImplHolder<Tracked> h(new Tracked(3));
    ImplHolderBase* c = h.Clone();
    EXPECT_NE(c->GetPtr(), h.GetPtr());
    EXPECT_EQ(static_cast<Tracked*>(c->GetPtr())->value, 3);
    EXPECT_EQ(Tracked::made, 2);

    static_cast<Tracked*>(c->GetPtr())->value = 9;
    EXPECT_EQ(static_cast<Tracked*>(h.GetPtr())->value, 3);
    delete c;
    EXPECT_EQ(Tracked::destroyed, 1);
    EXPECT_EQ(static_cast<const Tracked*>(std::as_const(h).GetPtr())->value, 3);

    ImplHolder<Tracked> empty(nullptr);
    ImplHolderBase* ec = empty.Clone();
    EXPECT_EQ(ec->GetPtr(), nullptr);
    delete ec;
}

TEST_F(HolderTest, CopyToAssignsIntoTheTargetsOwnObject) {
    ImplHolder<Tracked> src(new Tracked(5));
    ImplHolder<Tracked> dst(new Tracked(1));
    void* before = dst.GetPtr();
    src.CopyTo(&dst);
    EXPECT_EQ(dst.GetPtr(), before);
    EXPECT_EQ(static_cast<Tracked*>(dst.GetPtr())->value, 5);
    EXPECT_EQ(Tracked::assigned, 1);
    EXPECT_EQ(Tracked::made, 2);

    static_cast<Tracked*>(src.GetPtr())->value = 6;
    EXPECT_EQ(static_cast<Tracked*>(dst.GetPtr())->value, 5);
}

TEST_F(HolderTest, OwnersCopyDeeplyAndAssignInPlace) {
    {
        Owner a(4);
        Owner b(a);
        EXPECT_NE(b.state(), a.state());
        EXPECT_EQ(b.state()->value, 4);
        b.state()->value = 8;
        EXPECT_EQ(a.state()->value, 4);

        Tracked* own = a.state();
        a = b;
        EXPECT_EQ(a.state(), own);
        EXPECT_EQ(a.state()->value, 8);
        const Owner& self = a;
        a = self;
        EXPECT_EQ(a.state(), own);
        EXPECT_EQ(a.state()->value, 8);
        EXPECT_EQ(Tracked::made, 2);
    }
    EXPECT_EQ(Tracked::destroyed, 2);
}

TEST_F(HolderTest, SharedArrayCopiesShareAndTheLastReleaseDeletesOnce) {
    {
        shared_array<Tracked> a(new Tracked[4]);
        EXPECT_EQ(a.use_count(), 1);
        EXPECT_EQ(Tracked::made, 4);
        {
            shared_array<Tracked> b(a);
            shared_array<Tracked> c;
            c = b;
            EXPECT_EQ(a.use_count(), 3);
            EXPECT_EQ(c.get(), a.get());
            c[2].value = 42;
            EXPECT_EQ(a[2].value, 42);
        }
        EXPECT_EQ(a.use_count(), 1);
        EXPECT_EQ(Tracked::destroyed, 0);
    }
    EXPECT_EQ(Tracked::destroyed, 4);
    EXPECT_EQ(Tracked::made, 4);
}

TEST_F(HolderTest, SharedArraySelfAssignmentIsHarmless) {
    shared_array<Tracked> a(new Tracked[2]);
    a[1].value = 5;
    shared_array<Tracked>& alias = a;
    a = alias;
    EXPECT_EQ(a.use_count(), 1);
    EXPECT_EQ(a[1].value, 5);
    EXPECT_EQ(Tracked::destroyed, 0);

    shared_array<Tracked> b(a);
    b = a;  // assigning a copy of the same array
    EXPECT_EQ(a.use_count(), 2);
    a = std::move(alias);
    EXPECT_EQ(b.use_count(), 2);
    EXPECT_EQ(Tracked::destroyed, 0);
}

TEST_F(HolderTest, SharedArrayReassignmentReleasesTheOldArray) {
    shared_array<Tracked> a(new Tracked[3]);
    shared_array<Tracked> b(new Tracked[2]);
    shared_array<Tracked> keep(b);
    b = a;  // b's old array is still held by keep
    EXPECT_EQ(Tracked::destroyed, 0);
    keep = a;  // now nobody holds it
    EXPECT_EQ(Tracked::destroyed, 2);
    EXPECT_EQ(a.use_count(), 3);

    shared_array<Tracked> moved(std::move(keep));
    EXPECT_EQ(keep.get(), nullptr);
    EXPECT_EQ(keep.use_count(), 0);
    EXPECT_EQ(a.use_count(), 3);

    a.reset();
    b.reset(new Tracked[1]);
    EXPECT_EQ(Tracked::destroyed, 2);
    moved = shared_array<Tracked>();
    EXPECT_EQ(Tracked::destroyed, 5);
    EXPECT_EQ(b.use_count(), 1);
}
