#pragma once
// The wbvk code stream: a run-length code over the rows of a bottom-up DIB. Key frames code every
// pixel; delta frames code what differs from the previous frame and jump over the rest.
//
// Code words (every count and coordinate is one unsigned byte):
//   n v          run: n (1..255) copies of the pixel value v
//   00 00        end of line: next row, x = 0
//   00 01        end of image
//   00 02 dx dy  jump: y += dy, then x += dx
//   00 n v...    literal of n (3..255) values; at 8 bits a pad byte follows an odd n
//
// Nothing here depends on Windows; the decoder's messages go to the trace channel.

#include <cstdint>

// 8, 16, 24 or 32 bits per pixel: the depths the format codes.
bool IsCodedDepth(int bitCount);
// Row stride of a DIB, rows padded to 4 bytes; -1 for a width or depth outside the format.
int64_t FrameStride(int width, int bitCount);
// Stride x height; -1 for a geometry outside the format.
int64_t FrameImageSize(int width, int height, int bitCount);
// The longest code stream the encoders can write for the geometry: two bytes per byte of a row plus
// the row's end of line, and the end of image. -1 for a geometry outside the format.
int64_t MaxStreamSize(int width, int height, int bitCount);

// Each returns the length of the stream written, or -1 for a null address, a size below 1 or a
// geometry whose worst-case stream does not fit in 32 bits. The output must hold MaxStreamSize
// bytes; the encoders never write more.
int32_t EncodeKeyFrame8(const void* frame, void* output, int width, int height);
int32_t EncodeKeyFrame16(const void* frame, void* output, int width, int height);
int32_t EncodeKeyFrame24(const void* frame, void* output, int width, int height);
int32_t EncodeKeyFrame32(const void* frame, void* output, int width, int height);
int32_t EncodeDeltaFrame8(const void* previous, const void* frame, void* output, int width, int height);
int32_t EncodeDeltaFrame16(const void* previous, const void* frame, void* output, int width, int height);
int32_t EncodeDeltaFrame24(const void* previous, const void* frame, void* output, int width, int height);
int32_t EncodeDeltaFrame32(const void* previous, const void* frame, void* output, int width, int height);

// By depth (8, 16, 24, 32); any other depth gives -1.
int32_t EncodeKeyFrame(const void* frame, void* output, int width, int height, int bitCount);
int32_t EncodeDeltaFrame(const void* previous, const void* frame, void* output, int width, int height,
                         int bitCount);

// Decodes onto the frame in place (FrameImageSize bytes): pixels the stream does not touch keep their
// values. True when the end-of-image word was reached. Never reads past the stream's length nor
// writes outside the frame, whatever the bytes; runs and literals that would pass the image end are
// skipped.
bool DecodeFrame(const void* stream, int32_t length, void* frame, int width, int height, int bitCount);
