// Reproducible test data: the same seed gives the same bytes on every run and platform.
#pragma once

#include <cstddef>
#include <random>
#include <string>

namespace testsupport {

// n bytes drawn from the seed, each below range. With the full range they take every value,
// CR, LF and NUL among them, and do not compress; a small range gives data that does.
inline std::string Bytes(std::size_t n, unsigned seed = 7, unsigned range = 256) {
    std::mt19937 gen(seed);
    std::string data(n, '\0');
    for (char& c : data) c = static_cast<char>(gen() % range);
    return data;
}

}  // namespace testsupport
