#pragma once

#include "driver/pdf/curvefit.h"

// Outlines kept inside a box before they become records: a page may draw
// far outside itself (a background stretched by a huge matrix, a line to
// 10^30), and such coordinates would neither fit a record's fields nor give
// the polygon clipper numbers it can take. Only the part of an outline
// inside the box is kept; what lies outside it is not seen anyway when the
// box is the page with a margin around it.

// Whether every point of the outline (control points too) is a number
// inside the box.
bool InsideBox(const Outline& outline, const Bounds& box);

// The area the outline fills (either rule) inside the box: each contour
// flattened within `tolerance` and cut to the box, so that every point
// inside it lies inside as many contours, turned the same ways, as before.
// Contours with a point that is not a number are left out.
Outline ClippedFill(const Outline& outline, const Bounds& box, double tolerance);

// The lines of the outline inside the box, flattened within `tolerance`:
// a contour that leaves the box becomes a line for each stretch inside it.
Outline ClippedLines(const Outline& outline, const Bounds& box, double tolerance);
