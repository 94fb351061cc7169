// CByteBuffer: a byte vector whose growth leaves the new bytes unset. The program's large
// buffers (output, input windows) are always written before they are read, so zeroing them
// would only cost time and fault in memory that a short run never touches.
#pragma once

#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

template <typename T>
class CUnsetAllocator : public std::allocator<T> {
public:
    template <typename U>
    struct rebind {
        using other = CUnsetAllocator<U>;
    };
    CUnsetAllocator() = default;
    template <typename U>
    CUnsetAllocator(const CUnsetAllocator<U>&) noexcept
    {
    }

    // Default construction leaves a byte as the allocation left it; anything else is built as usual.
    template <typename U>
    void construct(U* place) noexcept(std::is_nothrow_default_constructible<U>::value)
    {
        ::new (static_cast<void*>(place)) U;
    }
    template <typename U, typename... Args>
    void construct(U* place, Args&&... args)
    {
        ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
    }
};

using CByteBuffer = std::vector<char, CUnsetAllocator<char>>;
// A whole input file read once and shared by what reads it.
using CHeldBytes = std::shared_ptr<const CByteBuffer>;
