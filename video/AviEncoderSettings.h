#pragma once
// How the AVI writer sets up its encoders, for the writer and for measurements beside it.

class QString;
struct AVCodecContext;

// A new, not yet opened encoder context for a FOURCC of the writer's list at the given
// size, frame time and quality (0..10000), or nullptr; the caller frees it with
// avcodec_free_context.
AVCodecContext* NewAviEncoderContext(const QString& fourcc, int width, int height, int frameTimeMs,
                                     int quality);
