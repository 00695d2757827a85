#pragma once
// The encoding library, loaded when a compressed recording first needs it rather than at
// the program's start: it brings some sixty libraries of codecs with it.

extern "C" {
#include <libavcodec/avcodec.h>
}

// The library's calls the AVI writer makes.
struct AvcodecCalls {
    decltype(&avcodec_find_encoder_by_name) find_encoder_by_name = nullptr;
    decltype(&avcodec_alloc_context3) alloc_context3 = nullptr;
    decltype(&avcodec_free_context) free_context = nullptr;
    decltype(&avcodec_open2) open2 = nullptr;
    decltype(&avcodec_send_frame) send_frame = nullptr;
    decltype(&avcodec_receive_packet) receive_packet = nullptr;
    decltype(&av_packet_alloc) packet_alloc = nullptr;
    decltype(&av_packet_free) packet_free = nullptr;
    decltype(&av_packet_unref) packet_unref = nullptr;
};

// The library's calls, loaded on the first call (thread-safe); nullptr when the library or
// one of its calls is missing: then no compressed encoder is available.
const AvcodecCalls* Avcodec();
