#include "storage/tables.h"

#include <cerrno>
#include <cstdlib>
#include <unistd.h>

namespace td {
namespace {

// Allocations left before the test seam makes one fail; negative: never.
long g_allocations_before_failure = -1;

// Every allocation of the module goes through here, so that each one (the
// top pointer array as well as every row) is checked the same way.
void* checked(std::size_t count, std::size_t size) {
  if (g_allocations_before_failure == 0) allocation_failed();
  if (g_allocations_before_failure > 0) --g_allocations_before_failure;
  // count is at least 1 for every caller (bounds are inclusive), so a null
  // result is always a real failure.
  void* p = std::calloc(count, size);
  if (p == nullptr) allocation_failed();
  return p;
}

std::size_t extent(int bound) {
  // Bounds are highest indices: a bound of n gives n + 1 elements. A negative
  // bound is a caller's fault; it is treated as an empty extent of one.
  return bound < 0 ? 1 : static_cast<std::size_t>(bound) + 1;
}

template <typename T>
T** alloc_2d(int n, int m) {
  T** t = static_cast<T**>(checked(extent(n), sizeof(T*)));
  for (std::size_t i = 0; i < extent(n); ++i) t[i] = static_cast<T*>(checked(extent(m), sizeof(T)));
  return t;
}

template <typename T>
void free_2d(T** t, int n) {
  if (t == nullptr) return;
  for (std::size_t i = 0; i < extent(n); ++i) std::free(t[i]);
  std::free(t);
}

template <typename T>
T*** alloc_3d(int n, int m, int k) {
  T*** t = static_cast<T***>(checked(extent(n), sizeof(T**)));
  for (std::size_t i = 0; i < extent(n); ++i) {
    t[i] = static_cast<T**>(checked(extent(m), sizeof(T*)));
    for (std::size_t j = 0; j < extent(m); ++j) t[i][j] = static_cast<T*>(checked(extent(k), sizeof(T)));
  }
  return t;
}

template <typename T>
void free_3d(T*** t, int n, int m) {
  if (t == nullptr) return;
  for (std::size_t i = 0; i < extent(n); ++i) {
    for (std::size_t j = 0; j < extent(m); ++j) std::free(t[i][j]);
    std::free(t[i]);
  }
  std::free(t);
}

} // namespace

void allocation_failed() {
  // write(2) straight from a constant: printing must not need memory, and
  // nothing else of the program may run on (no exit handlers, no buffers).
  static constexpr char kLine[] = "Error allocating memory. Quiting\n";
  const char* p = kLine;
  std::size_t n = sizeof kLine - 1;
  while (n > 0) {
    const ssize_t w = ::write(STDOUT_FILENO, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) break;
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  ::_exit(1);
}

double** alloc_double_2d(int n, int m) { return alloc_2d<double>(n, m); }
void free_double_2d(double** t, int n, int /*m*/) { free_2d(t, n); }
double*** alloc_double_3d(int n, int m, int k) { return alloc_3d<double>(n, m, k); }
void free_double_3d(double*** t, int n, int m) { free_3d(t, n, m); }
std::int32_t** alloc_int_2d(int n, int m) { return alloc_2d<std::int32_t>(n, m); }
void free_int_2d(std::int32_t** t, int n) { free_2d(t, n); }
std::int32_t*** alloc_int_3d(int n, int m, int k) { return alloc_3d<std::int32_t>(n, m, k); }
void free_int_3d(std::int32_t*** t, int n, int m) { free_3d(t, n, m); }

void* alloc_checked(std::size_t bytes) { return checked(bytes == 0 ? 1 : bytes, 1); }
void free_checked(void* p) { std::free(p); }

void storage_fail_after(long n) { g_allocations_before_failure = n < 0 ? -1 : n; }

} // namespace td
