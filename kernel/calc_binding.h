// The kernel module's binding to the runtime: registration, the host-side
// launch function and the device entry of calc.
#ifndef KERNEL_CALC_BINDING_H
#define KERNEL_CALC_BINDING_H

#include "cudart_emu.h"

extern void** module_handle;

void register_module();
void unregister_module();

// Launches calc over the configuration set by the last cudaConfigureCall.
// A failed placement or launch is left in the runtime's last error.
void calc_stub(float* a, int n);
// Runs calc for one thread position from the launch argument block.
void calc_entry(const void* block);

#endif
