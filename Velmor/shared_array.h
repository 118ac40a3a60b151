// A reference-counted array: the array (made with array new) and its count (a separately
// allocated plain int that starts at 1) are shared by every copy; the last copy to go deletes
// both. The count is not atomic: copies are made and dropped on one thread only.
#ifndef VELMOR_SHARED_ARRAY_H
#define VELMOR_SHARED_ARRAY_H

#include <cstddef>
#include <new>

namespace Velmor {

template <typename T>
class shared_array {
public:
    // No array and no count.
    shared_array() : _ptr(nullptr), _count(nullptr) {}

    // Takes ownership of p, which must come from array new (null allowed).
    explicit shared_array(T* p) : _ptr(p), _count(new (std::nothrow) int(1)) {
        if (!_count) _adoptFailed(p);
    }

    shared_array(const shared_array& other) : _ptr(other._ptr), _count(other._count) {
        if (_count) ++*_count;
    }

    shared_array(shared_array&& other) noexcept : _ptr(other._ptr), _count(other._count) {
        other._ptr = nullptr;
        other._count = nullptr;
    }

    ~shared_array() { _release(); }

    shared_array& operator=(const shared_array& other) {
        // Take the new reference before dropping the old one, so that assigning an array to
        // itself (or to a copy of itself) never drops the count to 0 on the way; read other's
        // fields first, since other may be this object.
        T* p = other._ptr;
        int* count = other._count;
        if (count) ++*count;
        _release();
        _ptr = p;
        _count = count;
        return *this;
    }

    shared_array& operator=(shared_array&& other) noexcept {
        if (this != &other) {
            _release();
            _ptr = other._ptr;
            _count = other._count;
            other._ptr = nullptr;
            other._count = nullptr;
        }
        return *this;
    }

    // Drops this reference and takes ownership of p (array new, null allowed).
    void reset(T* p = nullptr) {
        shared_array tmp(p);
        *this = static_cast<shared_array&&>(tmp);
    }

    T& operator[](std::ptrdiff_t i) const { return _ptr[i]; }
    T* get() const { return _ptr; }
    // How many copies share the array (0 for a default-built one).
    int use_count() const { return _count ? *_count : 0; }

private:
    // The deletions are kept out of line: GCC's use-after-free analysis cannot see that a count
    // still above 0 keeps the array alive (or that a failed adoption throws) and would warn at
    // every caller that inlines them.
#if defined(__GNUC__)
#define VELMOR_SHARED_ARRAY_NOINLINE __attribute__((noinline))
#else
#define VELMOR_SHARED_ARRAY_NOINLINE
#endif

    // The count could not be allocated: ownership was handed over, so do not leak the array.
    [[noreturn]] VELMOR_SHARED_ARRAY_NOINLINE static void _adoptFailed(T* p) {
        delete[] p;
        throw std::bad_alloc();
    }

    VELMOR_SHARED_ARRAY_NOINLINE void _release() {
        if (_count && --*_count == 0) {
            delete[] _ptr;
            delete _count;
        }
        _ptr = nullptr;
        _count = nullptr;
    }

#undef VELMOR_SHARED_ARRAY_NOINLINE

    T* _ptr;
    int* _count;
};

}  // namespace Velmor

#endif
