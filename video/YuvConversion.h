#pragma once
// Colour conversion of the recording's frames into the encoders' planar YUV 4:2:0, ITU-R
// BT.601, straight from the frame's rows into the encoder's planes: limited range (Y 16..235)
// for MPEG-4 and H.264, full range (0..255) for Motion JPEG. Each chroma sample is taken from
// the mean of its 2 x 2 pixels. Faster than the general converter, whose cost otherwise
// rivals a fast encoder's.

#include <cstdint>

struct TYuvPlanes {
    uint8_t* Y;
    int YStride;
    uint8_t* U;
    int UStride;
    uint8_t* V;
    int VStride;
};

// Converts rows of pixels in blue, green, red order, 3 or 4 bytes each (the fourth is
// ignored), into the planes. rows counts luma rows and starts at an even row of the picture
// (the planes point at that row and its chroma row); an odd last row or column repeats
// itself for the chroma.
void BgrToYuv420(const uint8_t* bgr, int bgr_stride, int bytes_per_pixel, int width, int rows,
                 const TYuvPlanes& planes, bool full_range);
