#pragma once

// The stop table: entry 0 the first return target, entries 1 on the frames
// the show stops at, each with a backward button to the entry before it; and
// the character budget a deck of it needs.

#include <cstddef>
#include <cstdint>
#include <vector>

// The largest slide count: the movie has slide count + 2 frames and the
// header's frame count is 16-bit.
constexpr int32_t kMaxSlideCount = 65533;

// The most character IDs one movie can name.
constexpr uint64_t kMaxCharacterIDs = 0xFFFF;

// How a show's frames get their button faces (the two button images, each on
// a face shape with a hit shape). Each frame its own: as the original JPEG
// decks always had them. Shared: defined once, in the first frame that uses
// each, and every frame's buttons refer to them (every other show).
enum class ButtonFaces { kEachFrame, kShared };

// The number of character IDs a deck draws: three a slide (its bitmap and
// shape, and the forward button), one for each matte under a slide, each
// narrated slide's sound and each backward button, and one for the closing
// notice. Besides, with faces for each frame: four more a slide (the forward
// face's bitmap, face shape and hit shape; the backward face's bitmap, also
// where no backward button is made) and two for a frame's backward face and
// hit shapes where it has backward buttons. With shared faces: three for the forward face
// (its bitmap, face and hit shapes) and three for the backward face where any
// frame has a backward button.
uint64_t CharacterIDsNeeded(int32_t slideCount, const std::vector<int32_t>& stopTable, int32_t matteCount = 0,
                            int32_t soundCount = 0, ButtonFaces faces = ButtonFaces::kEachFrame);

// The largest slide count whose IDs fit in one movie with this stop table.
int32_t LargestSlideCountThatFits(const std::vector<int32_t>& stopTable,
                                  ButtonFaces faces = ButtonFaces::kEachFrame);

// The stop table of a show that stops on every slide: 0, 0, 1, ..., slides - 1.
// Every slide but the last waits for a click (the last too where the show
// says so); every slide after the first has a backward button to the one
// before.
std::vector<int32_t> StopOnEveryPage(int32_t slides);

// A stop-file entry as a GotoFrame's 16-bit frame field holds it: its low 16
// bits, as the converter always wrote it.
uint16_t FrameNumberOfEntry(int32_t entry);

// The stop positions that name each frame, in ascending order.
std::vector<std::vector<size_t>> StopPositionsPerFrame(int32_t slideCount, const std::vector<int32_t>& stopTable);

// A stop position makes a backward button when its entry differs from the one before it.
bool MakesBackwardButton(const std::vector<int32_t>& stopTable, size_t p);

// The frame a backward button of stop position p on frame f returns to, as
// the stop file gives it: the first frame's return to the start.
int32_t ReturnTarget(const std::vector<int32_t>& stopTable, int32_t f, size_t p);

// The return targets that backward buttons take to 16 bits, in the file's order, each once.
std::vector<int32_t> ReturnTargetsOutOfRange(const std::vector<std::vector<size_t>>& stopPositions,
                                             const std::vector<int32_t>& stopTable);

// Refuses a deck whose characters one movie cannot name, saying how many
// slides would fit (ConverterError, status 1).
void CheckCharacterBudget(int32_t slideCount, const std::vector<int32_t>& stopTable, int32_t matteCount,
                          int32_t soundCount, ButtonFaces faces);
