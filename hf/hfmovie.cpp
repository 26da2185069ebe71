#include "hf/hfmovie.h"

HFFrame* HFMovie::Frame(int32_t n)
{
    if (n + 1 > frameCount) frameCount = n + 1;
    const size_t index = static_cast<size_t>(n);
    if (index >= frames.size()) {
        // Frames come eight at a time beyond the one asked for.
        const size_t oldSize = frames.size();
        frames.resize(index + 8);
        for (size_t i = oldSize; i < frames.size(); ++i) frames[i] = std::make_unique<HFFrame>(*this);
    }
    return frames[index].get();
}

bool HFMovie::WriteMovie(const std::string& fileName, std::string* error)
{
    FSWFFile file;
    for (int32_t i = 0; i < frameCount; ++i) {
        for (std::unique_ptr<FTag>& tag : frames[static_cast<size_t>(i)]->Tags()) file.AddTag(std::move(tag));
        frames[static_cast<size_t>(i)]->Tags().clear();
        file.AddTag(std::make_unique<FCTShowFrame>());
    }
    const bool written = file.WriteFile(fileName, width, height, frameRate, error);
    Reset();
    return written;
}

void HFMovie::Reset()
{
    frames.clear();
    frameCount = 0;
    placements.clear();
}
