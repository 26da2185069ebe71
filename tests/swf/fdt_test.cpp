// A define tag kept as its written bytes writes exactly what the tag did and
// answers for its ID and epoch; tags it cannot stand for are left alone.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "swf/fdt.h"
#include "swf/fdtbitmaps.h"
#include "swf/fdtshapes.h"
#include "tests/swf/swfbytes.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(WrittenDefinitions, StandForTheTagByteForByte)
{
    FResetCharacterID();
    FDTDefineShape3 shape(FRect(0, 0, 100, 100));
    shape.AddSolidFillStyle(FColor(1, 2, 3, 255));
    shape.FinishStyleArrays();
    shape.AddShapeRecord(std::make_unique<FStraightEdgeRecord>(101, 0));
    shape.AddShapeRecord(std::make_unique<FEndShapeRecord>());
    FSWFStream original;
    shape.Write(original);

    const std::unique_ptr<FDTWritten> written = FDTWritten::From(shape);
    ASSERT_NE(written, nullptr);
    EXPECT_EQ(written->ID(), shape.ID());
    EXPECT_EQ(written->IDEpoch(), shape.IDEpoch());
    // Written twice alike.
    for (int pass = 0; pass < 2; ++pass) {
        FSWFStream copy;
        written->Write(copy);
        EXPECT_EQ(StreamBytes(copy), StreamBytes(original));
    }
}

TEST(WrittenDefinitions, TagsThatBorrowBytesOrHaveNoIDAreLeftAlone)
{
    FResetCharacterID();
    const Bytes jpeg{0xFF, 0xD8, 0x00, 0xFF, 0xD9};
    FDTDefineBitsJPEG2 borrowing(jpeg.data(), static_cast<int32_t>(jpeg.size()));
    EXPECT_EQ(FDTWritten::From(borrowing), nullptr);
    FDTJPEGTables tables(static_cast<int32_t>(jpeg.size()), jpeg.data());  // a define tag with no ID of its own
    EXPECT_EQ(FDTWritten::From(tables), nullptr);
}

TEST(LentCharacterIDs, TheNextTagTakesTheLentIDAndTheCounterIsUntouched)
{
    FResetCharacterID();
    const Bytes jpeg{0xFF, 0xD8, 0x00, 0xFF, 0xD9};
    FDTDefineBitsJPEG2 lender(jpeg.data(), static_cast<int32_t>(jpeg.size()));
    FDTDefineBitsJPEG2 after(jpeg.data(), static_cast<int32_t>(jpeg.size()));
    std::unique_ptr<FDTDefineBitsJPEG2> borrower;
    {
        const FLentCharacterID loan(lender);
        borrower = std::make_unique<FDTDefineBitsJPEG2>(jpeg.data(), static_cast<int32_t>(jpeg.size()));
    }
    EXPECT_EQ(borrower->ID(), lender.ID());
    EXPECT_EQ(borrower->IDEpoch(), lender.IDEpoch());
    EXPECT_EQ(FLastCharacterID(), after.ID());
    // One tag a loan: the next draws again.
    {
        const FLentCharacterID loan(lender);
        const FDTDefineBitsJPEG2 first(jpeg.data(), static_cast<int32_t>(jpeg.size()));
        const FDTDefineBitsJPEG2 second(jpeg.data(), static_cast<int32_t>(jpeg.size()));
        EXPECT_EQ(first.ID(), lender.ID());
        EXPECT_EQ(second.ID(), after.ID() + 1);
    }
    // A loan unused is gone with its scope.
    { const FLentCharacterID unused(lender); }
    const FDTDefineBitsJPEG2 drawn(jpeg.data(), static_cast<int32_t>(jpeg.size()));
    EXPECT_EQ(drawn.ID(), after.ID() + 2);
}

}  // namespace
