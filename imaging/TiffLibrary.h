#pragma once
// libtiff, loaded when a TIFF is first read or written rather than at the program's start:
// with the codecs it brings it is half a dozen libraries, and every library loaded at start
// makes the start slower.

#include <tiffio.h>

// The calls the TIFF reader and writer make, by their own names.
struct TiffCalls {
    decltype(&::TIFFClientOpen) TIFFClientOpen = nullptr;
    decltype(&::TIFFClientOpenExt) TIFFClientOpenExt = nullptr;
    decltype(&::TIFFClose) TIFFClose = nullptr;
    decltype(&::TIFFFdOpenExt) TIFFFdOpenExt = nullptr;
    decltype(&::TIFFFlush) TIFFFlush = nullptr;
    decltype(&::TIFFFlushData) TIFFFlushData = nullptr;
    decltype(&::TIFFGetField) TIFFGetField = nullptr;
    decltype(&::TIFFGetFieldDefaulted) TIFFGetFieldDefaulted = nullptr;
    decltype(&::TIFFGetStrileByteCount) TIFFGetStrileByteCount = nullptr;
    decltype(&::TIFFIsTiled) TIFFIsTiled = nullptr;
    decltype(&::TIFFOpen) TIFFOpen = nullptr;
    decltype(&::TIFFOpenOptionsAlloc) TIFFOpenOptionsAlloc = nullptr;
    decltype(&::TIFFOpenOptionsFree) TIFFOpenOptionsFree = nullptr;
    decltype(&::TIFFOpenOptionsSetMaxSingleMemAlloc) TIFFOpenOptionsSetMaxSingleMemAlloc = nullptr;
    decltype(&::TIFFRGBAImageBegin) TIFFRGBAImageBegin = nullptr;
    decltype(&::TIFFRGBAImageEnd) TIFFRGBAImageEnd = nullptr;
    decltype(&::TIFFRGBAImageGet) TIFFRGBAImageGet = nullptr;
    decltype(&::TIFFRGBAImageOK) TIFFRGBAImageOK = nullptr;
    decltype(&::TIFFReadRGBAImageOriented) TIFFReadRGBAImageOriented = nullptr;
    decltype(&::TIFFReadRawStrip) TIFFReadRawStrip = nullptr;
    decltype(&::TIFFSetErrorHandler) TIFFSetErrorHandler = nullptr;
    decltype(&::TIFFSetField) TIFFSetField = nullptr;
    decltype(&::TIFFSetWarningHandler) TIFFSetWarningHandler = nullptr;
    decltype(&::TIFFStripSize64) TIFFStripSize64 = nullptr;
    decltype(&::TIFFTileSize64) TIFFTileSize64 = nullptr;
    decltype(&::TIFFWriteEncodedStrip) TIFFWriteEncodedStrip = nullptr;
    decltype(&::TIFFWriteRawStrip) TIFFWriteRawStrip = nullptr;
};

// The calls, loaded on the first call (thread-safe) with libtiff's own messages silenced;
// nullptr when the library or one of its calls is missing.
const TiffCalls* Libtiff();

// The library's file name, for messages.
const char* LibtiffName();
