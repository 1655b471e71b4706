// The ActiveX classes that Internet Explorer is told never to load: the
// component servers' own classes and controls of the maker's other products.
#pragma once
#include <array>
#include <cstddef>

inline constexpr size_t kActiveXClassCount = 108;

// Braced class ids of 38 characters, all distinct, in the order they are written.
const std::array<const wchar_t*, kActiveXClassCount>& ActiveXClassIds();
