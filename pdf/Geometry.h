#pragma once
// Rectangles and affine matrices of PDF user space.

#include <algorithm>

namespace qvx::SDF {
class Obj;
}

namespace qvx::PDF {

struct Rect {
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;

    double Width() const { return x2 - x1; }
    double Height() const { return y2 - y1; }
    // Corners in ascending order.
    Rect Normalized() const { return {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)}; }
    bool operator==(const Rect&) const = default;
};

// [a b c d e f]: x' = a x + c y + e, y' = b x + d y + f.
struct Matrix {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;

    // this applied first, then m.
    Matrix Then(const Matrix& m) const
    {
        return {a * m.a + b * m.c, a * m.b + b * m.d, c * m.a + d * m.c,
                c * m.b + d * m.d, e * m.a + f * m.c + m.e, e * m.b + f * m.d + m.f};
    }
    void Apply(double& x, double& y) const
    {
        double nx = a * x + c * y + e;
        y = b * x + d * y + f;
        x = nx;
    }
    bool operator==(const Matrix&) const = default;
};

// The smallest rectangle holding r transformed by m.
Rect Transformed(const Rect& r, const Matrix& m);

// A rectangle from an array of four numbers; false when obj is not one.
bool ReadRect(const SDF::Obj* obj, Rect& out);
// A matrix from an array of six numbers; false when obj is not one.
bool ReadMatrix(const SDF::Obj* obj, Matrix& out);

}  // namespace qvx::PDF
