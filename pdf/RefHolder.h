// CPdfRef: the one holder of a manually counted object (array, dictionary, stream).
// share() adds a reference, create() makes an object and holds its first one; the
// destructor releases it. Plain pointers elsewhere in the program are borrowed.
#pragma once

#include <utility>

template <typename T>
class CPdfRef {
public:
    CPdfRef() = default;
    ~CPdfRef() { reset(); }

    static CPdfRef share(T* object)
    {
        if (object)
            object->addRef();
        return CPdfRef(object);
    }

    // Creates an object (count 1) and holds its reference.
    template <typename U = T, typename... Args>
    static CPdfRef create(Args&&... args)
    {
        return CPdfRef(new U(std::forward<Args>(args)...));
    }

    CPdfRef(const CPdfRef& other) : m_object(other.m_object)
    {
        if (m_object)
            m_object->addRef();
    }
    CPdfRef(CPdfRef&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
    template <typename U>
    CPdfRef(CPdfRef<U>&& other) noexcept : m_object(other.detach()) {}

    CPdfRef& operator=(CPdfRef other) noexcept
    {
        std::swap(m_object, other.m_object);
        return *this;
    }

    void reset()
    {
        if (T* object = std::exchange(m_object, nullptr))
            object->release();
    }
    // Hands the reference to a caller that balances it (an element or another holder).
    T* detach() { return std::exchange(m_object, nullptr); }

    T* get() const { return m_object; }
    T* operator->() const { return m_object; }
    T& operator*() const { return *m_object; }
    explicit operator bool() const { return m_object != nullptr; }

private:
    explicit CPdfRef(T* object) : m_object(object) {}
    T* m_object = nullptr;
};
