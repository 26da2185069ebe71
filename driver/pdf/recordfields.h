#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "driver/pdf/curvefit.h"
#include "swf/fprimitives.h"

// What the fields of a SWF record hold, for values that come from a PDF: a
// matrix's scale and skew are signed 16.16 in at most 31 bits, its
// translation and a rectangle's sides signed twips in at most 31 bits. A
// value past them would stop the library on an assertion, so every value a
// page gives is kept inside them here first.

// The largest scale or skew a matrix field holds: (2^30 - 1) / 65536.
constexpr double kMaxMatrixScale = 1073741823.0 / 65536;

// Coordinates of the shapes, texts and translations a page records are kept
// to this many twips from the origin, well inside a field's 2^30: a twip
// difference between two of them then fits 31 bits too.
constexpr double kMaxCoordinate = 1 << 29;

// 16.16 fixed point, clamped to what a matrix field holds (NaN gives 0).
inline int32_t Fixed16(double v)
{
    if (!(v == v)) return 0;
    return static_cast<int32_t>(std::lround(std::clamp(v, -kMaxMatrixScale, kMaxMatrixScale) * 65536));
}

// Whole twips, clamped to the coordinates a page records (NaN gives 0).
inline int32_t ClampedTwips(double v)
{
    if (!(v == v)) return 0;
    return static_cast<int32_t>(std::lround(std::clamp(v, -kMaxCoordinate, kMaxCoordinate)));
}

// Whether the matrix's fields hold it as it is: its scales and skews within
// a matrix field, its translation within the recorded coordinates.
inline bool FitsMatrixFields(const Affine& m)
{
    const auto scale = [](double v) { return std::fabs(v) <= kMaxMatrixScale; };
    const auto offset = [](double v) { return std::fabs(v) <= kMaxCoordinate; };
    return scale(m.a) && scale(m.b) && scale(m.c) && scale(m.d) && offset(m.e) && offset(m.f);
}

// The matrix as a record's fields hold it (see FitsMatrixFields).
inline FMatrix ToFMatrix(const Affine& m)
{
    const bool rotates = m.b != 0 || m.c != 0;
    return FMatrix(true, Fixed16(m.a), Fixed16(m.d), rotates, Fixed16(m.b), Fixed16(m.c), ClampedTwips(m.e),
                   ClampedTwips(m.f));
}
