#include "FfmpegLibraries.h"

#include "platform/LibraryOnFirstUse.h"

namespace {

#define QUVAR_STRINGIFY2(x) #x
#define QUVAR_STRINGIFY(x) QUVAR_STRINGIFY2(x)
// The major versions built against: their calls and structures are the ones compiled in.
constexpr const char* kAvutil = "libavutil.so." QUVAR_STRINGIFY(LIBAVUTIL_VERSION_MAJOR);
constexpr const char* kSwscale = "libswscale.so." QUVAR_STRINGIFY(LIBSWSCALE_VERSION_MAJOR);
constexpr const char* kAvcodec = "libavcodec.so." QUVAR_STRINGIFY(LIBAVCODEC_VERSION_MAJOR);

#define QUVAR_RESOLVE(library, name) ResolveCall(library, #name, calls.name)

bool Load(FfmpegCalls& calls) {
    // Kept loaded until the program ends: encoders and their threads may outlive any owner.
    void* avutil = LoadLibraryForGood(kAvutil);
    void* swscale = LoadLibraryForGood(kSwscale);
    void* avcodec = LoadLibraryForGood(kAvcodec);
    return QUVAR_RESOLVE(avcodec, avcodec_find_encoder_by_name) &&
           QUVAR_RESOLVE(avcodec, avcodec_alloc_context3) &&
           QUVAR_RESOLVE(avcodec, avcodec_free_context) && QUVAR_RESOLVE(avcodec, avcodec_open2) &&
           QUVAR_RESOLVE(avcodec, avcodec_send_frame) &&
           QUVAR_RESOLVE(avcodec, avcodec_receive_packet) &&
           QUVAR_RESOLVE(avcodec, av_packet_alloc) && QUVAR_RESOLVE(avcodec, av_packet_free) &&
           QUVAR_RESOLVE(avcodec, av_packet_unref) && QUVAR_RESOLVE(avutil, av_buffer_pool_init) &&
           QUVAR_RESOLVE(avutil, av_buffer_pool_get) &&
           QUVAR_RESOLVE(avutil, av_buffer_pool_uninit) && QUVAR_RESOLVE(avutil, av_frame_alloc) &&
           QUVAR_RESOLVE(avutil, av_frame_free) && QUVAR_RESOLVE(avutil, av_frame_get_buffer) &&
           QUVAR_RESOLVE(avutil, av_frame_is_writable) && QUVAR_RESOLVE(avutil, av_frame_unref) &&
           QUVAR_RESOLVE(avutil, av_log_set_level) && QUVAR_RESOLVE(avutil, av_opt_set) &&
           QUVAR_RESOLVE(avutil, av_opt_set_double) && QUVAR_RESOLVE(avutil, av_opt_set_int) &&
           QUVAR_RESOLVE(avutil, av_pix_fmt_count_planes) &&
           QUVAR_RESOLVE(avutil, av_pix_fmt_desc_get) && QUVAR_RESOLVE(swscale, sws_getContext) &&
           QUVAR_RESOLVE(swscale, sws_getCachedContext) && QUVAR_RESOLVE(swscale, sws_scale) &&
           QUVAR_RESOLVE(swscale, sws_freeContext);
}

bool LoadQuietly(FfmpegCalls& calls) {
    if (!Load(calls))
        return false;
    calls.av_log_set_level(AV_LOG_ERROR);
    return true;
}

} // namespace

const FfmpegCalls* Ffmpeg() {
    return CallsOnFirstUse<FfmpegCalls, LoadQuietly>();
}
