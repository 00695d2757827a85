#include "capture/GstSupport.h"

#include "capture/FakeCameras.h"

#include <mutex>

namespace gstsupport {

void EnsureGstInit() {
    static std::once_flag once;
    std::call_once(once, [] {
        gst_init(nullptr, nullptr);
        RegisterFakeCameraProvider();
    });
}

ElementPtr MakeElement(const char* factory, const char* name) {
    EnsureGstInit();
    return Adopt(gst_element_factory_make(factory, name));
}

} // namespace gstsupport
