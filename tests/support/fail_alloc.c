/* Preloaded (LD_PRELOAD) into the program by the allocation sweep: one
 * allocation of the process fails, as when memory runs out there.
 *
 *   TD_FAIL_ALLOCATION=N     the N-th allocation (1 = the first) returns
 *                            NULL with errno ENOMEM; the others succeed.
 *   TD_COUNT_ALLOCATIONS=F   at exit, the number of allocations is written
 *                            to the file F (a run that ends normally).
 *
 * Allocations are counted from this library's start-up on: malloc, calloc,
 * realloc, aligned_alloc and posix_memalign, so also those of operator new
 * and of the C and C++ libraries. Nothing here allocates. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stddef.h>
#include <stdlib.h>
#include <unistd.h>

extern void* __libc_malloc(size_t size);
extern void* __libc_calloc(size_t count, size_t size);
extern void* __libc_realloc(void* p, size_t size);
extern void* __libc_memalign(size_t alignment, size_t size);

static unsigned long fail_at;     /* 0: none */
static unsigned long allocations; /* counted once `counting` is set */
static int counting;

static unsigned long number(const char* text) {
  unsigned long n = 0;
  if (text == NULL) return 0;
  for (; *text >= '0' && *text <= '9'; ++text) n = n * 10 + (unsigned long)(*text - '0');
  return n;
}

__attribute__((constructor)) static void start(void) {
  fail_at = number(getenv("TD_FAIL_ALLOCATION"));
  __atomic_store_n(&counting, 1, __ATOMIC_SEQ_CST);
}

__attribute__((destructor)) static void finish(void) {
  const char* path = getenv("TD_COUNT_ALLOCATIONS");
  if (path == NULL) return;
  char text[24];
  char* p = text + sizeof text;
  *--p = '\n';
  unsigned long n = __atomic_load_n(&allocations, __ATOMIC_SEQ_CST);
  do {
    *--p = (char)('0' + n % 10);
    n /= 10;
  } while (n > 0);
  const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return;
  (void)!write(fd, p, (size_t)(text + sizeof text - p));
  close(fd);
}

/* true: this allocation is the one that fails. */
static int fails(void) {
  if (!__atomic_load_n(&counting, __ATOMIC_SEQ_CST)) return 0;
  const unsigned long n = __atomic_add_fetch(&allocations, 1, __ATOMIC_SEQ_CST);
  if (n != fail_at) return 0;
  errno = ENOMEM;
  return 1;
}

void* malloc(size_t size) { return fails() ? NULL : __libc_malloc(size); }
void* calloc(size_t count, size_t size) { return fails() ? NULL : __libc_calloc(count, size); }
void* realloc(void* p, size_t size) { return fails() ? NULL : __libc_realloc(p, size); }
void* aligned_alloc(size_t alignment, size_t size) {
  return fails() ? NULL : __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
  if (fails()) return ENOMEM;
  void* p = __libc_memalign(alignment, size);
  if (p == NULL) return ENOMEM;
  *out = p;
  return 0;
}
