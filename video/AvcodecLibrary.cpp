#include "AvcodecLibrary.h"

#include <dlfcn.h>

#include <mutex>

namespace {

#define QUVAR_STRINGIFY2(x) #x
#define QUVAR_STRINGIFY(x) QUVAR_STRINGIFY2(x)
// The build's own major version: its calls and structures are the ones compiled against.
constexpr const char* kAvcodecName = "libavcodec.so." QUVAR_STRINGIFY(LIBAVCODEC_VERSION_MAJOR);

template <typename Call> bool Resolve(void* library, const char* name, Call& call) {
    call = reinterpret_cast<Call>(dlsym(library, name));
    return call != nullptr;
}

bool Load(AvcodecCalls& calls) {
    // Kept loaded until the program ends: encoders and their threads may outlive any owner.
    void* library = dlopen(kAvcodecName, RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return false;
    return Resolve(library, "avcodec_find_encoder_by_name", calls.find_encoder_by_name) &&
           Resolve(library, "avcodec_alloc_context3", calls.alloc_context3) &&
           Resolve(library, "avcodec_free_context", calls.free_context) &&
           Resolve(library, "avcodec_open2", calls.open2) &&
           Resolve(library, "avcodec_send_frame", calls.send_frame) &&
           Resolve(library, "avcodec_receive_packet", calls.receive_packet) &&
           Resolve(library, "av_packet_alloc", calls.packet_alloc) &&
           Resolve(library, "av_packet_free", calls.packet_free) &&
           Resolve(library, "av_packet_unref", calls.packet_unref);
}

} // namespace

const AvcodecCalls* Avcodec() {
    static AvcodecCalls calls;
    static bool loaded = false;
    static std::once_flag once;
    std::call_once(once, [] { loaded = Load(calls); });
    return loaded ? &calls : nullptr;
}
