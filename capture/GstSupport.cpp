#include "capture/GstSupport.h"

#include "capture/FakeCameras.h"
#include "capture/GstreamerOnFirstUse.h"
#include "platform/Errors.h"

#include <mutex>

namespace gstsupport {

void EnsureGstInit() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Thrown at every use: nothing of GStreamer runs without its libraries.
        if (const QString missing = LoadGstreamer(); !missing.isEmpty())
            throw QuvarError(missing);
        gst_init(nullptr, nullptr);
        FillGstreamerTypes();
        RegisterFakeCameraProvider();
    });
}

ElementPtr MakeElement(const char* factory, const char* name) {
    EnsureGstInit();
    return Adopt(gst_element_factory_make(factory, name));
}

} // namespace gstsupport
