// Private-state holder: an owner keeps its state behind one ImplHolderBase* made in its
// constructor and deleted in its destructor. The holder gives owners deep-copy semantics through
// Clone (a new holder around a copy of the state) and CopyTo (assign the state into another holder's).
#ifndef VELMOR_PIMPL_H
#define VELMOR_PIMPL_H

namespace Velmor {

class ImplHolderBase {
public:
    virtual ~ImplHolderBase() {}
    // A new heap holder with an independent copy of the held state; the caller owns it.
    virtual ImplHolderBase* Clone() const = 0;
    // Copies the held state into the state held by `other`, which must hold the same type.
    virtual void CopyTo(ImplHolderBase* other) const = 0;
    virtual void* GetPtr() = 0;
    virtual const void* GetPtr() const = 0;
};

template <typename T>
class ImplHolder : public ImplHolderBase {
public:
    // Takes ownership of p (null allowed).
    explicit ImplHolder(T* p) : ptr(p) {}
    ~ImplHolder() override { delete ptr; }

    // The holder owns a raw pointer: copies go through Clone/CopyTo, never through the
    // implicit copy operations (which would delete the state twice).
    ImplHolder(const ImplHolder&) = delete;
    ImplHolder& operator=(const ImplHolder&) = delete;

    ImplHolderBase* Clone() const override {
        if (!ptr) return new ImplHolder<T>(nullptr);
        // Copy first: if the holder allocation throws, the copy must not leak.
        T* copy = new T(*ptr);
        try {
            return new ImplHolder<T>(copy);
        } catch (...) {
            delete copy;
            throw;
        }
    }

    void CopyTo(ImplHolderBase* other) const override {
        ImplHolder<T>* target = static_cast<ImplHolder<T>*>(other);
        if (target == this) return;
        if (ptr && target->ptr) {
            *target->ptr = *ptr;  // the target keeps its own object
        } else if (ptr) {
            target->ptr = new T(*ptr);
        } else {
            delete target->ptr;
            target->ptr = nullptr;
        }
    }

    void* GetPtr() override { return ptr; }
    const void* GetPtr() const override { return ptr; }

private:
    T* ptr;
};

}  // namespace Velmor

#endif
