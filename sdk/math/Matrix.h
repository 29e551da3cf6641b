// The mathematics kit: matrix types and every family built on them.
#ifndef QVKIT_MATH_MATRIX_H
#define QVKIT_MATH_MATRIX_H

#include "math/MatrixTypes.h"
#include "math/PointTransform.h"
#include "math/Vector.h"
#include "math/MatrixAlgebra.h"
#include "math/Transformations.h"
#include "math/Quaternion.h"

#endif
