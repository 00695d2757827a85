#include "TiffLibrary.h"

#include "platform/LibraryOnFirstUse.h"

namespace {

#define QUVAR_RESOLVE(name) ResolveCall(library, #name, calls.name)

bool Load(TiffCalls& calls) {
    void* library = LoadLibraryForGood(LibtiffName());
    return QUVAR_RESOLVE(TIFFClientOpen) && QUVAR_RESOLVE(TIFFClientOpenExt) &&
           QUVAR_RESOLVE(TIFFClose) && QUVAR_RESOLVE(TIFFFdOpenExt) && QUVAR_RESOLVE(TIFFFlush) &&
           QUVAR_RESOLVE(TIFFFlushData) && QUVAR_RESOLVE(TIFFGetField) &&
           QUVAR_RESOLVE(TIFFGetFieldDefaulted) && QUVAR_RESOLVE(TIFFGetStrileByteCount) &&
           QUVAR_RESOLVE(TIFFIsTiled) && QUVAR_RESOLVE(TIFFOpen) &&
           QUVAR_RESOLVE(TIFFOpenOptionsAlloc) && QUVAR_RESOLVE(TIFFOpenOptionsFree) &&
           QUVAR_RESOLVE(TIFFOpenOptionsSetMaxSingleMemAlloc) &&
           QUVAR_RESOLVE(TIFFRGBAImageBegin) && QUVAR_RESOLVE(TIFFRGBAImageEnd) &&
           QUVAR_RESOLVE(TIFFRGBAImageGet) && QUVAR_RESOLVE(TIFFRGBAImageOK) &&
           QUVAR_RESOLVE(TIFFReadRGBAImageOriented) && QUVAR_RESOLVE(TIFFReadRawStrip) &&
           QUVAR_RESOLVE(TIFFSetErrorHandler) && QUVAR_RESOLVE(TIFFSetField) &&
           QUVAR_RESOLVE(TIFFSetWarningHandler) && QUVAR_RESOLVE(TIFFStripSize64) &&
           QUVAR_RESOLVE(TIFFTileSize64) && QUVAR_RESOLVE(TIFFWriteEncodedStrip) &&
           QUVAR_RESOLVE(TIFFWriteRawStrip);
}

// Its own messages are never shown; failures reach the user through ours.
bool LoadQuietly(TiffCalls& calls) {
    if (!Load(calls))
        return false;
    calls.TIFFSetErrorHandler(nullptr);
    calls.TIFFSetWarningHandler(nullptr);
    return true;
}

} // namespace

// The library the program was built against, named by the build.
const char* LibtiffName() {
    return QUVAR_LIBTIFF_SONAME;
}

const TiffCalls* Libtiff() {
    return CallsOnFirstUse<TiffCalls, LoadQuietly>();
}
