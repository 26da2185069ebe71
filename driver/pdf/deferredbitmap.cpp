#include "driver/pdf/deferredbitmap.h"

#include <utility>

DeferredBitmapTag::DeferredBitmapTag(BackgroundJobs& jobs, std::function<BitmapContent()> encode)
    : id(DrawCharacterID()), job(jobs.Submit(std::move(encode)))
{
}

DeferredBitmapTag::DeferredBitmapTag(std::shared_ptr<BackgroundJob<BitmapContent>> job)
    : id(DrawCharacterID()), job(std::move(job))
{
}

void DeferredBitmapTag::Write(FSWFStream& stream)
{
    if (!made) {
        BitmapContent& content = job->Get();
        const FLentCharacterID loan(*this);
        made = BitmapTag(std::move(content));
        job.reset();
    }
    made->Write(stream);
}

std::unique_ptr<FDT> BitmapTagOn(BackgroundJobs* jobs, std::function<BitmapContent()> encode)
{
    if (!jobs || jobs->Workers() == 0) return BitmapTag(encode());
    return std::make_unique<DeferredBitmapTag>(*jobs, std::move(encode));
}

std::unique_ptr<FDT> SmallerBitmapTagOn(BackgroundJobs* jobs, std::vector<uint8_t>&& rgba, int32_t width,
                                        int32_t height, int32_t jpegQuality, ColourNumbers place,
                                        DecodeBudget::Share&& share)
{
    if (!jobs || jobs->Workers() == 0) return SmallerBitmapTag(rgba, width, height, jpegQuality, place);
    // What the encoding reads, and the budget's share for it, go with it.
    struct Held {
        std::vector<uint8_t> rgba;
        DecodeBudget::Share share;
    };
    auto held = std::make_shared<Held>(Held{std::move(rgba), std::move(share)});
    return BitmapTagOn(jobs, [held, width, height, jpegQuality, place] {
        return SmallerBitmap(held->rgba, width, height, jpegQuality, place);
    });
}
