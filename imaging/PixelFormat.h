#pragma once
// The pixel formats a bitmap can be asked for, shared by the capture control and the AVI
// writer; each says which of them it supports.

enum class TPixelFormat {
    pfDevice,
    pf1bit,
    pf4bit,
    pf8bit,
    pf15bit,
    pf16bit,
    pf24bit,
    pf32bit,
    pfCustom
};
