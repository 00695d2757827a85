#pragma once
// FFmpeg's libraries, loaded when a compressed recording first needs them rather than at
// the program's start: with the codecs and drivers they bring they are some seventy
// libraries, and every library loaded slows the loading of all the others.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/buffer.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

// The calls the AVI writer makes, by their own names.
struct FfmpegCalls {
    decltype(&::avcodec_find_encoder_by_name) avcodec_find_encoder_by_name = nullptr;
    decltype(&::avcodec_alloc_context3) avcodec_alloc_context3 = nullptr;
    decltype(&::avcodec_free_context) avcodec_free_context = nullptr;
    decltype(&::avcodec_open2) avcodec_open2 = nullptr;
    decltype(&::avcodec_send_frame) avcodec_send_frame = nullptr;
    decltype(&::avcodec_receive_packet) avcodec_receive_packet = nullptr;
    decltype(&::av_packet_alloc) av_packet_alloc = nullptr;
    decltype(&::av_packet_free) av_packet_free = nullptr;
    decltype(&::av_packet_unref) av_packet_unref = nullptr;
    decltype(&::av_buffer_pool_init) av_buffer_pool_init = nullptr;
    decltype(&::av_buffer_pool_get) av_buffer_pool_get = nullptr;
    decltype(&::av_buffer_pool_uninit) av_buffer_pool_uninit = nullptr;
    decltype(&::av_frame_alloc) av_frame_alloc = nullptr;
    decltype(&::av_frame_free) av_frame_free = nullptr;
    decltype(&::av_frame_get_buffer) av_frame_get_buffer = nullptr;
    decltype(&::av_frame_is_writable) av_frame_is_writable = nullptr;
    decltype(&::av_frame_unref) av_frame_unref = nullptr;
    decltype(&::av_log_set_level) av_log_set_level = nullptr;
    decltype(&::av_opt_set) av_opt_set = nullptr;
    decltype(&::av_opt_set_double) av_opt_set_double = nullptr;
    decltype(&::av_opt_set_int) av_opt_set_int = nullptr;
    decltype(&::av_pix_fmt_count_planes) av_pix_fmt_count_planes = nullptr;
    decltype(&::av_pix_fmt_desc_get) av_pix_fmt_desc_get = nullptr;
    decltype(&::sws_getContext) sws_getContext = nullptr;
    decltype(&::sws_getCachedContext) sws_getCachedContext = nullptr;
    decltype(&::sws_scale) sws_scale = nullptr;
    decltype(&::sws_freeContext) sws_freeContext = nullptr;
};

// The calls, loaded on the first call (thread-safe) with the libraries' messages limited
// to errors; nullptr when a library or one of its calls is missing: then no compressed
// encoder is available.
const FfmpegCalls* Ffmpeg();
