// The most bytes held at once in arrays (every buffer a decoder sizes from
// its input) beyond what was held at the last reset.
#pragma once

long long peakArrayBytes();
void resetPeakArrayBytes();
