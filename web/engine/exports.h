// How the page's script reaches the engine: plain C functions exported from the module by name.
// Pointers are offsets into the module's memory; texts are UTF-16 code units and sizes above
// 2^32 travel as doubles, the same as the engine's calls to the script.
#pragma once

#define QUILLON_EXPORT(name) extern "C" __attribute__((export_name(#name)))
