// The matrices "SETM" carries, built from the scene.  Points are row vectors
// multiplied on the left (p' = p * M) with the translation in row 3, as
// everywhere in the protocol.
#ifndef PLMHOST_SCENEMATRICES_H
#define PLMHOST_SCENEMATRICES_H

#include "scene/Scene.h"
#include "math/MatrixTypes.h"

Matrix4 IdentityMatrix();
Matrix4 MultiplyMatrices(const Matrix4& a, const Matrix4& b);  // a, then b

// Scale, then rotation about x, y and z (degrees), then translation, each
// advanced by its rate over theTime seconds.
Matrix4 GroupMatrixAt(const GroupTransform& theGroup, double theTime);
// The rotation alone.
Matrix4 GroupRotationAt(const GroupTransform& theGroup, double theTime);

// World to camera space: the camera at the origin looking down -z, +y up.
Matrix4 CameraMatrix(const CameraSpec& theCamera);
// The same without the translation.
Matrix4 CameraRotationMatrix(const CameraSpec& theCamera);

Vec3 TransformByMatrix(const Vec3& p, const Matrix4& m);

#endif
