// Private to the noise module: the lattice cell of a coordinate.
#ifndef QVKIT_NOISE_NOISELATTICE_H
#define QVKIT_NOISE_NOISELATTICE_H

#include <cstdint>

namespace noise_detail {

// The cell is the floor of c (except within 1e-9 below an integer, where it
// is that integer and *fraction is slightly negative); *fraction = c - cell.
// Coordinates beyond the 32-bit cells (and NaN) get the nearest limit cell
// and fraction 0 instead of an undefined conversion.
inline int32_t LatticeCell(float c, float* fraction) {
  if (c >= 0.0f) {
    if (c < 2147483648.0f) {
      const int32_t cell = static_cast<int32_t>(c);
      *fraction = c - static_cast<float>(cell);
      return cell;
    }
    *fraction = 0.0f;
    return INT32_MAX;
  }
  const double shifted = static_cast<double>(c) - 0.999999999;
  if (shifted > -2147483649.0) {
    const int32_t cell = static_cast<int32_t>(shifted);
    *fraction = c - static_cast<float>(cell);
    return cell;
  }
  *fraction = 0.0f;
  return INT32_MIN;
}

}  // namespace noise_detail

#endif
