#include "scene/SceneMatrices.h"

#include <cmath>

namespace {

const double kDegrees = 3.14159265358979323846 / 180.0;

Matrix4 RotationAbout(int axis, double degrees) {
  Matrix4 m = IdentityMatrix();
  double c = std::cos(degrees * kDegrees), s = std::sin(degrees * kDegrees);
  int a = (axis + 1) % 3, b = (axis + 2) % 3;  // the plane turned: y-z, z-x or x-y
  m.matrix[a][a] = c;
  m.matrix[a][b] = s;
  m.matrix[b][a] = -s;
  m.matrix[b][b] = c;
  return m;
}

Matrix4 Rotation(const Vec3& degrees) {
  Matrix4 m = RotationAbout(0, degrees[0]);
  m = MultiplyMatrices(m, RotationAbout(1, degrees[1]));
  return MultiplyMatrices(m, RotationAbout(2, degrees[2]));
}

Vec3 Advance(const Vec3& start, const Vec3& rate, double t) {
  return {start[0] + rate[0] * t, start[1] + rate[1] * t, start[2] + rate[2] * t};
}

Vec3 Normalized(const Vec3& v) {
  double n = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  return {v[0] / n, v[1] / n, v[2] / n};
}

Vec3 Cross(const Vec3& a, const Vec3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

}  // namespace

Matrix4 IdentityMatrix() {
  Matrix4 m{};
  for (int i = 0; i < 4; ++i) m.matrix[i][i] = 1.0;
  return m;
}

Matrix4 MultiplyMatrices(const Matrix4& a, const Matrix4& b) {
  Matrix4 m{};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += a.matrix[i][k] * b.matrix[k][j];
      m.matrix[i][j] = sum;
    }
  return m;
}

Matrix4 GroupRotationAt(const GroupTransform& theGroup, double theTime) {
  return Rotation(Advance(theGroup.rotation, theGroup.rotationRate, theTime));
}

Matrix4 GroupMatrixAt(const GroupTransform& theGroup, double theTime) {
  Matrix4 m = IdentityMatrix();
  for (int i = 0; i < 3; ++i) m.matrix[i][i] = theGroup.scale[size_t(i)];
  m = MultiplyMatrices(m, GroupRotationAt(theGroup, theTime));
  Vec3 t = Advance(theGroup.translation, theGroup.translationRate, theTime);
  for (int j = 0; j < 3; ++j) m.matrix[3][j] += t[size_t(j)];
  return m;
}

Matrix4 CameraRotationMatrix(const CameraSpec& theCamera) {
  const Vec3& eye = theCamera.position;
  const Vec3& target = theCamera.target;
  Vec3 back = Normalized({eye[0] - target[0], eye[1] - target[1], eye[2] - target[2]});
  // +y is up unless the camera looks straight along it.
  Vec3 up = std::fabs(back[1]) > 0.999999 ? Vec3{0, 0, back[1] > 0 ? -1.0 : 1.0} : Vec3{0, 1, 0};
  Vec3 right = Normalized(Cross(up, back));
  Vec3 trueUp = Cross(back, right);
  Matrix4 m = IdentityMatrix();
  for (int i = 0; i < 3; ++i) {
    m.matrix[i][0] = right[size_t(i)];
    m.matrix[i][1] = trueUp[size_t(i)];
    m.matrix[i][2] = back[size_t(i)];
  }
  return m;
}

Matrix4 CameraMatrix(const CameraSpec& theCamera) {
  Matrix4 m = CameraRotationMatrix(theCamera);
  const Vec3& eye = theCamera.position;
  for (int j = 0; j < 3; ++j)
    m.matrix[3][j] = -(eye[0] * m.matrix[0][j] + eye[1] * m.matrix[1][j] + eye[2] * m.matrix[2][j]);
  return m;
}

Vec3 TransformByMatrix(const Vec3& p, const Matrix4& m) {
  Vec3 out;
  for (int j = 0; j < 3; ++j)
    out[size_t(j)] = p[0] * m.matrix[0][j] + p[1] * m.matrix[1][j] + p[2] * m.matrix[2][j] + m.matrix[3][j];
  return out;
}
