#pragma once
// Conformance levels as the compliance run numbers them.

namespace qvx::Test {

constexpr int k1A = 1, k1B = 2, k2A = 3, k2B = 4, k2U = 5, k3A = 6, k3B = 7, k3U = 8, k4 = 9, k4E = 10, k4F = 11,
              kUA = 12;

}  // namespace qvx::Test
