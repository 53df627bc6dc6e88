#pragma once

namespace lwmd5 {

struct Vec3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

// Vector part first, scalar part last.
struct Quat {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 0.0f;
};

// out = a x b; every component is formed in double and rounded once.
void crossProduct(const Vec3& a, const Vec3& b, Vec3& out);

} // namespace lwmd5
