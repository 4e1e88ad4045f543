// Heap tables addressed with inclusive bounds.
//
// A table made with bounds n and m has rows 0..n and columns 0..m:
//   double** t = alloc_double_2d(100, 13);  // t[0][0] .. t[100][13] are valid
// Rows are separate allocations. Elements are not initialised.
// Every allocation is checked: on failure the utility prints
// "Error allocating memory. Quiting" on standard output and ends the process
// with status 1.
#pragma once

#include <cstddef>
#include <cstdint>

namespace td {

double** alloc_double_2d(int n, int m);
void free_double_2d(double** t, int n, int m); // m is accepted and not used

double*** alloc_double_3d(int n, int m, int k);
void free_double_3d(double*** t, int n, int m);

std::int32_t** alloc_int_2d(int n, int m);
void free_int_2d(std::int32_t** t, int n);

std::int32_t*** alloc_int_3d(int n, int m, int k);
void free_int_3d(std::int32_t*** t, int n, int m);

// A checked allocation of `bytes` bytes (the record buffers, the accumulators):
// the memory, or the allocation failure below.
void* alloc_checked(std::size_t bytes);
void free_checked(void* p);

// The end of a run whose memory ran out: prints "Error allocating memory.
// Quiting" on standard output and ends the process at once with status 1.
// Every failed allocation of the program ends here, also those of the
// standard library (it is the new handler while the detector runs).
[[noreturn]] void allocation_failed();

// Test seam: after `n` more successful allocations, the next one fails (and
// the process ends as on a real failure). A negative n turns the seam off.
void storage_fail_after(long n);

} // namespace td
