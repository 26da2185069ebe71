#pragma once

// A picture's define tag whose encoding runs on a worker while the page it
// is on goes on being drawn: its ID is drawn now, where the shapes that fill
// with it need it, and its bytes are waited for when it is first written.

#include <cstdint>
#include <functional>
#include <memory>

#include "driver/core/backgroundjobs.h"
#include "driver/core/decodebudget.h"
#include "driver/pdf/bitmapchoice.h"
#include "swf/fdt.h"

class DeferredBitmapTag : public FDT {
public:
    // `encode` runs on one of `jobs`' workers (or here, when none is free by
    // the time the bytes are needed); it must own what it reads.
    DeferredBitmapTag(BackgroundJobs& jobs, std::function<BitmapContent()> encode);
    // The tag of a job already submitted.
    explicit DeferredBitmapTag(std::shared_ptr<BackgroundJob<BitmapContent>> job);

    uint16_t ID() const override { return id; }
    // Waits for the encoding; rethrows its failure.
    void Write(FSWFStream& stream) override;

private:
    uint16_t id;
    std::shared_ptr<BackgroundJob<BitmapContent>> job;
    std::unique_ptr<FDT> made;  // the tag, once encoded, under this one's ID
};

// The tag of what `encode` makes: deferred to `jobs` when there are workers,
// else encoded at once.
std::unique_ptr<FDT> BitmapTagOn(BackgroundJobs* jobs, std::function<BitmapContent()> encode);

// The picture's tag: deferred to `jobs` when there are any (else encoded at
// once), in whichever of its encodings is smaller (SmallerBitmap). Takes
// the pixels and the budget share that covers them.
std::unique_ptr<FDT> SmallerBitmapTagOn(BackgroundJobs* jobs, std::vector<uint8_t>&& rgba, int32_t width,
                                        int32_t height, int32_t jpegQuality, ColourNumbers place,
                                        DecodeBudget::Share&& share = {});
