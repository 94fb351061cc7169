// Checked arithmetic for offsets and sizes that come from a file. The compiler's overflow
// builtins work out the exact result of the operands, whatever their types, and say whether it
// fits out: a hostile value never wraps. The caller decides what a false means (a damaged file,
// a refusal, a bound past every limit).
#pragma once

// out := a + b; false when the exact sum does not fit out.
template <typename A, typename B, typename T>
bool CheckedAdd(A a, B b, T& out)
{
    return !__builtin_add_overflow(a, b, &out);
}

// out := a * b; false when the exact product does not fit out.
template <typename A, typename B, typename T>
bool CheckedMul(A a, B b, T& out)
{
    return !__builtin_mul_overflow(a, b, &out);
}
