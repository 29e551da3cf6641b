// Test helpers: conversions between the kit's matrices and Eigen, which
// serves as the independent reference, and seeded random inputs.
#ifndef PLM_TESTS_MATH_EIGENORACLE_H
#define PLM_TESTS_MATH_EIGENORACLE_H

#include <Eigen/Dense>
#include <Eigen/Geometry>
#include <random>

#include "math/MatrixKernels.h"
#include "math/MatrixTypes.h"

namespace oracle {

using plm_math::Elem;
using plm_math::kOrder;

template <class M>
using EigenOf = Eigen::Matrix<double, kOrder<M>, kOrder<M>, Eigen::RowMajor>;

template <class M>
EigenOf<M> ToEigen(const M& m) {
  EigenOf<M> e;
  for (int i = 0; i < kOrder<M>; ++i)
    for (int j = 0; j < kOrder<M>; ++j) e(i, j) = double(m.matrix[i][j]);
  return e;
}

template <class M, class E>
M FromEigen(const E& e) {
  M m;
  for (int i = 0; i < kOrder<M>; ++i)
    for (int j = 0; j < kOrder<M>; ++j) m.matrix[i][j] = Elem<M>(e(i, j));
  return m;
}

// Largest element difference relative to the reference's largest element.
template <class M, class E>
double RelativeError(const M& m, const E& reference) {
  return (ToEigen(m) - reference).cwiseAbs().maxCoeff() /
         std::max(1.0, reference.cwiseAbs().maxCoeff());
}

struct Random {
  std::mt19937_64 engine{20240607};
  double Uniform(double lo = -1, double hi = 1) {
    return std::uniform_real_distribution<double>(lo, hi)(engine);
  }
  template <class M>
  M Matrix() {
    M m;
    for (auto& v : m.matrixData) v = Elem<M>(Uniform());
    return m;
  }
  Eigen::Vector3d UnitVector() {
    Eigen::Vector3d v;
    do v = Eigen::Vector3d(Uniform(), Uniform(), Uniform());
    while (v.norm() < 0.1);
    return v.normalized();
  }
};

}  // namespace oracle

#endif
