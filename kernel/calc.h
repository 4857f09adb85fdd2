// The kernel calc: replaces each element x of a device array by 4 / (x*x + 1).
#ifndef KERNEL_CALC_H
#define KERNEL_CALC_H

#include "cudart_emu.h"

// Execution context of the running thread position, written by the runtime
// before each call of the kernel's device entry.
extern uint3 threadIdx;
extern uint3 blockIdx;
extern dim3 blockDim;
extern dim3 gridDim;
extern int warpSize;

// Division valid for |q| <= 2^126; larger divisors flush the quotient to zero.
float fast_divide(float p, float q);
// Division for all operands: scales large divisors into fast_divide's range.
float accurate_divide(float p, float q);

void calc(float* a, int n);

#endif
