#pragma once

// The MuPDF device that records what a page draws as SWF tags (see
// vectorpage.h). Every callback lands in the recording behind it; an exception
// in one is kept and rethrown by Finish, never let through MuPDF's C frames.

#include <memory>
#include <set>
#include <string>
#include <vector>

#include <mupdf/fitz.h>

#include "driver/pdf/pagebudget.h"
#include "driver/pdf/rasterpatch.h"
#include "driver/pdf/vectorpage.h"

class VectorRecorder {
public:
    // `pageArea` in twips: what a shading that extends without end fills.
    VectorRecorder(fz_context* ctx, VectorResources& resources, const VectorOptions& options, Bounds pageArea);
    ~VectorRecorder();
    VectorRecorder(const VectorRecorder&) = delete;
    VectorRecorder& operator=(const VectorRecorder&) = delete;

    // The device to run the page through; the recorder owns it.
    fz_device* Device() const;
    // The page recorded so far, as tags; clips still open are closed.
    VectorPage Finish();
    // The areas SWF cannot draw, each to be patched with a picture.
    const std::vector<VectorFallback>& Fallbacks() const;
    // A picture over everything recorded so far (every clip closed first).
    void PlacePatch(RasterPatch&& patch);
    void PatchFailed();
    // The fonts text was drawn in (filled, stroked or clipped with).
    const std::set<const fz_font*>& DrawnFonts() const;
    // Whether the page has spent its budget (the time is checked); the run
    // given to StopRunWith is then told to stop.
    bool OverBudget();
    void Spend(const std::string& why);
    void StopRunWith(fz_cookie* cookie);
    PageBudget& Budget();

    // What the device's callbacks record into (vectordevice.cpp).
    class Recording;

private:
    std::unique_ptr<Recording> recording;
};
