// What the processor offers to the kernels that have a wider build.
#pragma once

// Whether the processor runs AVX2; may be asked before the run-time's own
// constructors have run.
bool cpuHasAvx2();
