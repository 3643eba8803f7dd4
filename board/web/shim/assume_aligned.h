// The C++20 library of the distribution's emscripten lacks std::assume_aligned; the firmware is
// given the same promise through the compiler's builtin.
#pragma once

#ifdef __cplusplus
#include <memory>
#ifndef __cpp_lib_assume_aligned
namespace std {
template <size_t N, class T> [[nodiscard]] constexpr T *assume_aligned(T *p) {
    return static_cast<T *>(__builtin_assume_aligned(p, N));
}
} // namespace std
#endif
#endif
