// The one road by which picture buffers are sized. Sizes reach here from
// file headers, so nothing is believed: the pixel count is checked against a
// library-wide limit before any byte is asked for, and fresh buffers start
// zeroed so that a picture never shows memory it did not write.
#pragma once

#include "base/buffers.h"

// 256 Mi pixels: room for 100-megapixel photographs (and their 16-bit form,
// 2 GiB) while a forged header cannot ask for more.
constexpr long long kMaxPictPixels = 1LL << 28;

// The element count of a w x h picture, or -1 when either side is below 1
// or the count passes kMaxPictPixels.
long long pictPixelCount(long long w, long long h);

// Whether `bytes` of coded data could describe w x h pixels in a format
// that packs at most `pixels` pixels into `per` bytes (both below 2^20). Decoders ask before
// allocating, so a short file cannot claim a picture of the library's limit.
bool pictDataCanHold(long long w, long long h, unsigned long long bytes, unsigned long long pixels,
                     unsigned long long per = 1);

// Bytes asked for here since the process started: what decodes commit.
unsigned long long pictBytesRequested();

// Makes `buf` hold w * h zeroed pixels; false (and `buf` empty) for a size
// that pictPixelCount refuses or memory that cannot be had.
bool allocPictPixels(_typebuf<unsigned int>& buf, long long w, long long h);
bool allocPictPixels(_typebuf<unsigned long long>& buf, long long w, long long h);
// The one-sample-per-cell planes of camera sensors.
bool allocPictPixels(_typebuf<unsigned short>& buf, long long w, long long h);

// Sample planes that decoders keep beside the picture (components of a
// multi-component image, tiles being reconstructed): `count` zeroed elements.
// One plane never holds more than a picture's pixels, and all the planes of
// one image together at most four times that.
constexpr long long kMaxPictSamples = 4 * kMaxPictPixels;
bool allocPictSamples(_typebuf<int>& buf, long long count);
bool allocPictSamples(_typebuf<float>& buf, long long count);
bool allocPictSamples(_typebuf<unsigned char>& buf, long long count);
