#include "capture/GstreamerOnFirstUse.h"

#ifdef QUVAR_GSTREAMER_STUBS

#include "platform/LibraryOnFirstUse.h"

#include <gst/gst.h>

#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <mutex>

// The variables GStreamer's type macros (GST_TYPE_FRACTION, GST_VALUE_HOLDS_LIST) read.
GType _gst_fraction_type = 0;
GType _gst_fraction_range_type = 0;
GType _gst_value_list_type = 0;

namespace {

const char* const CallNames[] = {
#define CALL(name) #name,
#include "capture/GstreamerCalls.inc"
#undef CALL
};

// The library each call may come from, searched in this order.
const char* const LibraryNames[] = {
    "libgstapp-1.0.so.0",
    "libgstvideo-1.0.so.0",
    "libgstreamer-1.0.so.0",
    "libgobject-2.0.so.0",
};

QString Load();

} // namespace

// What each stub jumps to, in the order of GstreamerCalls.inc; zero until loaded. The stubs
// (GstreamerStubs.S) read them.
extern "C" {
__attribute__((visibility("hidden"))) void* QuvarGstreamerSlots[std::size(CallNames)] = {};
}

// Called by a stub whose slot is empty, with its caller's arguments kept aside: afterwards
// the stub jumps to its function.
extern "C" __attribute__((visibility("hidden"))) void QuvarLoadGstreamerForStub() {
    const QString missing = LoadGstreamer();
    if (missing.isEmpty())
        return;
    std::fprintf(stderr, "%s\n", qPrintable(missing));
    std::abort(); // a call with no function behind it cannot go on
}

namespace {

QString Load() {
    void* libraries[std::size(LibraryNames)] = {};
    for (size_t i = 0; i < std::size(LibraryNames); ++i) {
        libraries[i] = LoadLibraryForGood(LibraryNames[i]);
        if (!libraries[i])
            return QStringLiteral("Cameras cannot be used: %1 is not installed.")
                .arg(QLatin1StringView(LibraryNames[i]));
    }
    void* found[std::size(CallNames)] = {};
    for (size_t call = 0; call < std::size(CallNames); ++call) {
        for (void* library : libraries)
            if (ResolveCall(library, CallNames[call], found[call]))
                break;
        if (!found[call])
            return QStringLiteral("Cameras cannot be used: the installed GStreamer has no %1.")
                .arg(QLatin1StringView(CallNames[call]));
    }
    // Only a whole table is used: a stub never jumps to a library half loaded.
    for (size_t call = 0; call < std::size(CallNames); ++call)
        __atomic_store_n(&QuvarGstreamerSlots[call], found[call], __ATOMIC_RELEASE);
    return {};
}

} // namespace

QString LoadGstreamer() {
    static std::once_flag once;
    static QString missing;
    std::call_once(once, [] { missing = Load(); });
    return missing;
}

void FillGstreamerTypes() {
    _gst_fraction_type = gst_fraction_get_type();
    _gst_fraction_range_type = gst_fraction_range_get_type();
    _gst_value_list_type = gst_value_list_get_type();
}

#else // linked at start

QString LoadGstreamer() {
    return {};
}

void FillGstreamerTypes() {}

#endif
