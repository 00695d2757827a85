#pragma once
// What the resize files share: a loop body built once per vector level, and the checks that
// give a bitmap writable pixels of the right format. Internal to the imaging library.
//
// The loops that vectorise are built once per level and chosen at every call, from the
// processor's level or a lower one asked for. All builds give the same bytes: integer
// arithmetic, plain float and double arithmetic without contraction, or (area average to
// half size) a fast sum whose doubtful values are recomputed the defined way.

#include "BitmapResize.h"

#include <QImage>

#include <cstdint>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define QUVAR_X86_VECTORS 1
#endif

#ifdef QUVAR_X86_VECTORS
#define QUVAR_AVX2 __attribute__((target("avx2,fma")))
#define QUVAR_AVX512 __attribute__((target("avx2,fma,avx512f,avx512bw,avx512vl,avx512dq,avx512cd")))
#define QUVAR_AVX512_VBMI                                                                          \
    __attribute__((target("avx2,fma,avx512f,avx512bw,avx512vl,avx512dq,avx512cd,avx512vbmi")))
#endif

// A loop body built for every level: Name##Body holds the loop, Name##For(level) gives the
// build to call. The body is inlined into each build and vectorised there.
#define QUVAR_INLINE_BODY inline __attribute__((always_inline))
#ifdef QUVAR_X86_VECTORS
#define QUVAR_EVERY_LEVEL(Name, Parameters, Arguments)                                             \
    void Name##Baseline Parameters {                                                               \
        Name##Body Arguments;                                                                      \
    }                                                                                              \
    QUVAR_AVX2 void Name##Avx2 Parameters {                                                        \
        Name##Body Arguments;                                                                      \
    }                                                                                              \
    QUVAR_AVX512 void Name##Avx512 Parameters {                                                    \
        Name##Body Arguments;                                                                      \
    }                                                                                              \
    auto Name##For(ResizeVectors level) {                                                          \
        return level >= ResizeVectors::Avx512 ? Name##Avx512                                       \
               : level == ResizeVectors::Avx2 ? Name##Avx2                                         \
                                              : Name##Baseline;                                    \
    }
#else
#define QUVAR_EVERY_LEVEL(Name, Parameters, Arguments)                                             \
    void Name##Baseline Parameters {                                                               \
        Name##Body Arguments;                                                                      \
    }                                                                                              \
    auto Name##For(ResizeVectors) {                                                                \
        return Name##Baseline;                                                                     \
    }
#endif

namespace resize {

#ifdef QUVAR_X86_VECTORS
// The low bytes of the 32-bit lanes of q0 to q3, in order (each lane holds 0 to 255).
QUVAR_AVX2 inline __attribute__((always_inline)) __m256i PackedBytesAvx2(__m256i q0, __m256i q1,
                                                                         __m256i q2, __m256i q3) {
    const __m256i bytes =
        _mm256_packus_epi16(_mm256_packus_epi32(q0, q1), _mm256_packus_epi32(q2, q3));
    return _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
}
#endif

// The pixels of `image` to write, detached from any other image sharing them; throws when
// there is no memory for them.
uchar* WritableBits(QImage& image);

// `image` in `format`; throws when there is no memory for the converted copy.
QImage ConvertedOrThrow(const QImage& image, QImage::Format format);

// A destination that keeps its size but not a format we write: replaced by a fresh one.
void EnsureFormat(QImage& destination, QImage::Format format);

// How many leading entries of a non-decreasing offset table can be read as 4-byte words
// without passing the end of a row of rowBytes.
int WideCount(const int32_t* offset, int count, qsizetype rowBytes);

} // namespace resize
