#pragma once
// Exposure correction of a 24-bit bitmap: brightness, contrast, colour saturation, a tone
// curve and per-channel offsets, all by lookup tables built once per call, so the pixels
// see only table lookups and integer additions.

#include <QImage>

#include <array>
#include <cstdint>

// The dialog's bar positions (saturation is held to 0 to 512 and the offsets to -64 to 64); the
// defaults change the image only by the brightness table (every level from 2 upward one lower).
struct ExposureSettings {
    int Brightness = 255; // 128 to 384; 256 leaves the levels as they are
    int Contrast = 0;     // -100 to 100, around the level 170; 100 acts as 99
    int Saturation = 255; // 0 grey to 512 twice the distance from the channels' average
    int Gamma = 0;        // -128 to 255
    int Red = 0;          // offsets, -64 to 64
    int Green = 0;
    int Blue = 0;
    bool operator==(const ExposureSettings&) const = default;
};

// The tables as the correction defines them (indices from 0).
struct ExposureTables {
    std::array<uint8_t, 256> CT;  // contrast curve
    std::array<uint8_t, 256> BCT; // brightness, then contrast
    std::array<uint16_t, 256> ST; // saturation-scaled levels
    std::array<int32_t, 768> GT;  // grey offset by the sum of the three channels
    std::array<int32_t, 256> GC;  // tone curve
};
ExposureTables BuildExposureTables(const ExposureSettings& settings);

// The corrected b, g, r of one pixel, by the tables.
struct Bgr {
    uint8_t b, g, r;
    bool operator==(const Bgr&) const = default;
};
Bgr CorrectPixel(const ExposureTables& tables, const ExposureSettings& settings, Bgr pixel,
                 bool highlightOverexposure);

// Corrects bitmap in place (converted to 24 bits first when it is not). With
// highlightOverexposure, a pixel that comes out pure white shows pure red instead.
void CorrectExposure(QImage& bitmap, const ExposureSettings& settings,
                     bool highlightOverexposure = false);
// target := source corrected. target's own pixels are reused when it has source's size, is
// 24-bit and shares them with no other image, so a preview repeated on every slider step
// allocates nothing.
void CorrectExposure(const QImage& source, QImage& target, const ExposureSettings& settings,
                     bool highlightOverexposure = false);
