// Debian's emscripten ships a libc++ without std::bit_cast; the compiler's
// builtin does the same. Included into every file of the web build only.
#pragma once

#include <bit>

#if !defined(__cpp_lib_bit_cast)
namespace std {
template <class To, class From>
constexpr To bit_cast(const From& from) noexcept {
    return __builtin_bit_cast(To, from);
}
}  // namespace std
#endif
