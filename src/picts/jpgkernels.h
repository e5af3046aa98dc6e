// The two inner loops of JPEG decoding that run on every sample, written so
// that the compiler vectorises them, with a wider build for processors that
// have AVX2 chosen once at run time.
#pragma once

// The accurate integer inverse DCT of one dequantised 8 x 8 block (64
// coefficients times their multipliers, natural order) into eight rows of
// 8 samples at `column`, for samples of `precision` bits (8 to 12); output
// bytes are the samples shifted down to 8 bits.
void jpgIdct8x8(const short* coef, const int* dequant, unsigned char* const* rows, int column, int precision);

// One row of YCbCr samples to 0xAARRGGBB words with the fixed-point
// constants of the YCbCr tables, bit for bit as the tables give them.
void jpgYCbCrRow(const unsigned char* y, const unsigned char* cb, const unsigned char* cr, unsigned int* out,
                 int count);

// Whether the AVX2 build runs where the processor has it (the default);
// false keeps to the plain build, so that both can be checked on one machine.
// For tests: not to be called while another thread decodes.
void jpgUseWideKernels(bool use);
