#pragma once

#include "math/vec3.h"

namespace lwmd5 {

// A rigid transform acting on row vectors: p' = p * m + t. Row r of the
// rotation is the image of axis r.
struct Transform {
    float m[3][3] = {};
    Vec3 t;
};

// The routines write their result while still reading their inputs, so a
// result must never share storage with an input.

// c applies a first, then b.
void multiplyTransforms(const Transform& a, const Transform& b, Transform& c);
// Valid for rigid transforms only: the rotation is transposed.
void invertTransform(const Transform& s, Transform& d);
void transformPoint(const Vec3& p, const Transform& m, Vec3& out);
void translationTransform(const Vec3& v, Transform& m);
void identityTransform(Transform& m);
void copyTransform(const Transform& src, Transform& dst);

// Rotations about one axis, from an angle in degrees.
void rotationX(float degrees, Transform& m);
void rotationY(float degrees, Transform& m);
void rotationZ(float degrees, Transform& m);

// Heading, pitch and bank in degrees as one rotation: bank first, then pitch,
// then heading (Rz * Rx * Ry, the inner product formed first).
void headingPitchBankRotation(float heading, float pitch, float bank, Transform& m);

// True when row 2 points along the cross product of rows 0 and 1 (the dot
// product is greater than 0; not a number counts as false).
bool hasRightHandedRows(const Transform& m);
// Negates row 2 of the rotation.
void negateThirdRow(Transform& m);
// Makes the rotation rows right-handed, then mirrors the rotation in z.
void toMd5Rotation(Transform& m);

void normalizeQuat(Quat& q);
// Reads the rotation rows as a matrix acting on column vectors, so the result
// is the quaternion of the transposed rotation.
void transformToQuat(Quat& q, const Transform& m);

} // namespace lwmd5
