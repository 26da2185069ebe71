#include "hf/hfbitmap.h"

#include <utility>

HFBitmap::HFBitmap(int32_t xmin, int32_t ymin, int32_t xmax, int32_t ymax, int32_t imageWidth,
                   int32_t imageHeight, const uint8_t* jpegData, int32_t jpegSize)
    : HFRectangle(xmin, ymin, xmax, ymax)
{
    SetJPEGBitmapFill(imageWidth, imageHeight, jpegData, jpegSize);
    SetLineWidth(0);
}

HFBitmap::HFBitmap(int32_t xmin, int32_t ymin, int32_t xmax, int32_t ymax, int32_t imageWidth,
                   int32_t imageHeight, FSWFFileRegion jpegFile)
    : HFRectangle(xmin, ymin, xmax, ymax)
{
    SetJPEGBitmapFill(imageWidth, imageHeight, std::move(jpegFile));
    SetLineWidth(0);
}

HFBitmap::HFBitmap(int32_t xmin, int32_t ymin, int32_t xmax, int32_t ymax, uint8_t format,
                   int32_t imageWidth, int32_t imageHeight, uint32_t colorTableSize, bool alpha,
                   const uint8_t* pixelData, const uint8_t* colorTable)
    : HFRectangle(xmin, ymin, xmax, ymax)
{
    SetLosslessBitmapFill(format, imageWidth, imageHeight, colorTableSize, alpha, pixelData, colorTable);
    SetLineWidth(0);
}

HFBitmap::HFBitmap(int32_t xmin, int32_t ymin, int32_t xmax, int32_t ymax, uint8_t format,
                   int32_t imageWidth, int32_t imageHeight, uint32_t colorTableSize, bool alpha,
                   std::vector<uint8_t>&& compressedData)
    : HFRectangle(xmin, ymin, xmax, ymax)
{
    SetLosslessBitmapFill(format, imageWidth, imageHeight, colorTableSize, alpha, std::move(compressedData));
    SetLineWidth(0);
}

HFBitmap::HFBitmap(int32_t xmin, int32_t ymin, int32_t xmax, int32_t ymax, uint8_t format,
                   int32_t imageWidth, int32_t imageHeight, uint32_t colorTableSize, bool alpha,
                   std::vector<FSWFFileRegion> compressedPieces)
    : HFRectangle(xmin, ymin, xmax, ymax)
{
    SetLosslessBitmapFill(format, imageWidth, imageHeight, colorTableSize, alpha, std::move(compressedPieces));
    SetLineWidth(0);
}
