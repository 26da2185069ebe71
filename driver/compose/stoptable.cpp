#include "driver/compose/stoptable.h"

#include <algorithm>
#include <string>

#include "driver/core/error.h"

uint16_t FrameNumberOfEntry(int32_t entry)
{
    return static_cast<uint16_t>(entry);
}

std::vector<int32_t> StopOnEveryPage(int32_t slides)
{
    std::vector<int32_t> table{0};
    for (int32_t slide = 0; slide < slides; ++slide) table.push_back(slide);
    return table;
}

uint64_t CharacterIDsNeeded(int32_t slideCount, const std::vector<int32_t>& stopTable, int32_t matteCount,
                            int32_t soundCount, ButtonFaces faces)
{
    const auto slides = static_cast<uint64_t>(std::max(slideCount, 0));
    const bool shared = faces == ButtonFaces::kShared;
    uint64_t ids = (shared ? 3 : 7) * slides + 1;  // + the closing notice
    if (shared && slides > 0) ids += 3;             // the forward face
    ids += static_cast<uint64_t>(std::max(matteCount, 0));
    ids += static_cast<uint64_t>(std::max(soundCount, 0));
    bool anyBackward = false;
    for (const std::vector<size_t>& positions : StopPositionsPerFrame(slideCount, stopTable)) {
        const auto buttons = std::count_if(positions.begin(), positions.end(),
                                           [&](size_t p) { return MakesBackwardButton(stopTable, p); });
        if (buttons == 0) continue;
        anyBackward = true;
        ids += static_cast<uint64_t>(buttons);
        if (!shared) ids += 2;  // the frame's backward face and hit shapes
    }
    if (shared && anyBackward) ids += 3;  // the backward face
    return ids;
}

int32_t LargestSlideCountThatFits(const std::vector<int32_t>& stopTable, ButtonFaces faces)
{
    int32_t low = 0;  // fits
    int32_t high = kMaxSlideCount + 1;
    while (high - low > 1) {
        const int32_t middle = low + (high - low) / 2;
        (CharacterIDsNeeded(middle, stopTable, 0, 0, faces) <= kMaxCharacterIDs ? low : high) = middle;
    }
    return low;
}

std::vector<std::vector<size_t>> StopPositionsPerFrame(int32_t slideCount, const std::vector<int32_t>& stopTable)
{
    std::vector<std::vector<size_t>> positions(static_cast<size_t>(std::max(slideCount, 0)));
    for (size_t p = 1; p < stopTable.size(); ++p) {
        const int32_t frame = stopTable[p];
        if (frame >= 0 && frame < slideCount) positions[static_cast<size_t>(frame)].push_back(p);
    }
    return positions;
}

bool MakesBackwardButton(const std::vector<int32_t>& stopTable, size_t p)
{
    return stopTable[p] != stopTable[p - 1];
}

int32_t ReturnTarget(const std::vector<int32_t>& stopTable, int32_t f, size_t p)
{
    return f == 0 ? 0 : stopTable[p - 1];
}

std::vector<int32_t> ReturnTargetsOutOfRange(const std::vector<std::vector<size_t>>& stopPositions,
                                             const std::vector<int32_t>& stopTable)
{
    std::vector<size_t> entries;
    for (size_t f = 0; f < stopPositions.size(); ++f) {
        for (size_t p : stopPositions[f]) {
            const int32_t target = ReturnTarget(stopTable, static_cast<int32_t>(f), p);
            if (MakesBackwardButton(stopTable, p) && target != FrameNumberOfEntry(target)) entries.push_back(p - 1);
        }
    }
    std::sort(entries.begin(), entries.end());
    std::vector<int32_t> values;
    for (size_t entry : entries)
        if (std::find(values.begin(), values.end(), stopTable[entry]) == values.end()) values.push_back(stopTable[entry]);
    return values;
}

void CheckCharacterBudget(int32_t slideCount, const std::vector<int32_t>& stopTable, int32_t matteCount,
                          int32_t soundCount, ButtonFaces faces)
{
    if (CharacterIDsNeeded(slideCount, stopTable, matteCount, soundCount, faces) <= kMaxCharacterIDs) return;
    std::string message = "a deck of " + std::to_string(slideCount) + " slides with these stop points";
    if (matteCount > 0) message += " and " + std::to_string(matteCount) + " mattes under slides that do not fill the slide area";
    if (soundCount > 0) message += " and " + std::to_string(soundCount) + " narrated slides";
    message += " needs more than 65535 characters; at most " + std::to_string(LargestSlideCountThatFits(stopTable, faces)) +
               " slides fit in one movie";
    if (matteCount > 0) message += " when every slide fills the area (--size auto, or slides of the area's size)";
    if (soundCount > 0) message += (matteCount > 0 ? " and" : " when") + std::string(" no slide is narrated");
    throw ConverterError(message, kExitFailure);
}
