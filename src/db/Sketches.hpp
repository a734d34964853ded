#pragma once

#include <cstdint>

namespace tarvel {

// The side of a value: 0 within 0.000001 of zero (or not a number), else its sign.
std::int16_t SignWithTolerance(double value);

}  // namespace tarvel
