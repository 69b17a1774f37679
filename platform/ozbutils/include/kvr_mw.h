#ifndef KVR_MW_H
#define KVR_MW_H
/* Stand-in for the board's middleware utility library: traced allocation and
 * a levelled diagnostic log. Tests may capture log lines and make the Nth
 * allocation fail. */

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

void* kvr_mw_malloc(const char* caller, int line, size_t size);
void* kvr_mw_calloc(const char* caller, int line, size_t count, size_t size);
void kvr_mw_free(const char* caller, int line, void* ptr);
void kvr_mw_log(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

/* ---- test hooks of the stand-in (not part of the board library) ---- */

/* Every formatted log line goes to `sink` instead of standard error; null
 * restores standard error. */
typedef void (*kvr_mw_log_sink)(int level, const char* line, void* user);
void kvr_mw_set_log_sink(kvr_mw_log_sink sink, void* user);

/* The `n`th allocation from now (1 = the next one) returns null; 0 disables. */
void kvr_mw_fail_allocation(unsigned n);

/* Allocations not yet freed. */
long kvr_mw_live_allocations(void);

#ifdef __cplusplus
}
#endif

#endif
