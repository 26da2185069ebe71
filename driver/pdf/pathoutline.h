#pragma once

#include <mupdf/fitz.h>

#include "driver/pdf/curvefit.h"

// MuPDF's paths and matrices in the outline types the shape code works on.

Affine ToAffine(fz_matrix m);

// The path with every point mapped through `transform`.
Outline OutlineFromPath(fz_context* ctx, const fz_path* path, const Affine& transform);
