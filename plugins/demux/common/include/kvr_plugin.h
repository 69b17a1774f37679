#ifndef KVR_PLUGIN_H
#define KVR_PLUGIN_H
/* What every media plug-in library shares with the host that loads it: the
 * shape of the entry, the exported nine-slot table, the callback signatures of
 * the host services and the shared layout of the host services block.
 *
 * The board is a 32-bit machine and the records are arrays of 32-bit words.
 * We write each record as a typed struct whose pointer and callback words are
 * pointer-sized, so the same source also builds natively on 64-bit hosts; the
 * 32-bit byte offsets are asserted with KVR_ASSERT_OFFSET32, which only fires
 * where pointers are 4 bytes (the -m32 build). A 64-bit field in a record is
 * declared with kvr_i64 / kvr_u64 so that it sits on an 8-byte boundary as on
 * the board, even on i386 where plain int64_t would only be 4-aligned. */

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define KVR_EXPORT __attribute__((visibility("default")))

typedef int64_t kvr_i64 __attribute__((aligned(8)));
typedef uint64_t kvr_u64 __attribute__((aligned(8)));

/* entry(op, handle, in, out): handle is the context (or, for libraries that
 * say so, the address of the word that holds it). */
typedef int32_t (*KvrEntryFn)(int32_t op, void* handle, void* in, void* out);

#define KVR_FUNCTION_LIST_SLOTS 9

/* Defines the exported table with the entry in slot 0. The symbol name is
 * the one hosts look up; it is spelt as the hosts spell it. */
#define KVR_DEFINE_FUNCTION_LIST(entry) \
  KVR_EXPORT KvrEntryFn FucntionList[KVR_FUNCTION_LIST_SLOTS] = {(KvrEntryFn)(entry)}

/* Host callback signatures. Sizes and counts are word-sized (size_t). */
typedef void* (*KvrMallocFn)(size_t size);
typedef void (*KvrFreeFn)(void* block);
typedef void* (*KvrMemcpyFn)(void* dst, const void* src, size_t count);
typedef void* (*KvrMemmoveFn)(void* dst, const void* src, size_t count);
typedef void* (*KvrMemsetFn)(void* dst, int value, size_t count);
typedef void* (*KvrReallocFn)(void* block, size_t size);
typedef int (*KvrMemcmpFn)(const void* a, const void* b, size_t count);
typedef void* (*KvrFopenFn)(const char* path, const char* mode);
typedef size_t (*KvrFreadFn)(void* buffer, size_t size, size_t count, void* file);
typedef int32_t (*KvrFseekFn)(void* file, int32_t offset, int32_t whence);
typedef int32_t (*KvrFtellFn)(void* file);
typedef int32_t (*KvrFcloseFn)(void* file);
typedef int32_t (*KvrFeofFn)(void* file);
typedef int32_t (*KvrFflushFn)(void* file);
typedef size_t (*KvrFwriteFn)(const void* buffer, size_t size, size_t count, void* file);
typedef int32_t (*KvrUnlinkFn)(const char* path);
typedef int32_t (*KvrFseek64Fn)(void* file, int64_t offset, int32_t whence);
typedef int64_t (*KvrFtell64Fn)(void* file);

enum { KVR_SEEK_SET = 0, KVR_SEEK_CUR = 1, KVR_SEEK_END = 2 };

/* The host services block in its shared order (108 bytes on the board). */
typedef struct KvrHostServices {
  KvrMallocFn malloc_fn;     /* +0 */
  KvrFreeFn free_fn;         /* +4 */
  void* reserved;            /* +8: handed on, never called */
  KvrMemcpyFn memcpy_fn;     /* +12 */
  KvrMemmoveFn memmove_fn;   /* +16 */
  KvrMemsetFn memset_fn;     /* +20 */
  KvrReallocFn realloc_fn;   /* +24 */
  void* unused[9];           /* +28 .. +63 */
  KvrFopenFn fopen_fn;       /* +64 */
  KvrFreadFn fread_fn;       /* +68 */
  KvrFseekFn fseek_fn;       /* +72 */
  KvrFtellFn ftell_fn;       /* +76 */
  KvrFcloseFn fclose_fn;     /* +80 */
  KvrFeofFn feof_fn;         /* +84 */
  KvrFflushFn fflush_fn;     /* +88 */
  KvrFwriteFn fwrite_fn;     /* +92 */
  KvrUnlinkFn unlink_fn;     /* +96 */
  KvrFseek64Fn fseek64_fn;   /* +100, may be null */
  KvrFtell64Fn ftell64_fn;   /* +104, may be null */
} KvrHostServices;

#ifdef __cplusplus
}
#endif

/* Layout checks. KVR_ASSERT_OFFSET32 checks a byte offset of the board's
 * 32-bit layout; it is a no-op where pointers are wider. */
#ifdef __cplusplus
#define KVR_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#define KVR_ALIGNOF(type) alignof(type)
#else
#define KVR_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#define KVR_ALIGNOF(type) _Alignof(type)
#endif

#define KVR_ASSERT_OFFSET32(type, field, offset)                                      \
  KVR_STATIC_ASSERT(sizeof(void*) != 4 || offsetof(type, field) == (offset),          \
                    #type "." #field " is not at byte " #offset " in the 32-bit layout")
#define KVR_ASSERT_SIZE32(type, size)                                                 \
  KVR_STATIC_ASSERT(sizeof(void*) != 4 || sizeof(type) == (size),                     \
                    #type " is not " #size " bytes in the 32-bit layout")

KVR_STATIC_ASSERT(KVR_ALIGNOF(kvr_i64) == 8, "64-bit record fields must be 8-byte aligned");
KVR_STATIC_ASSERT(KVR_ALIGNOF(kvr_u64) == 8, "64-bit record fields must be 8-byte aligned");

KVR_ASSERT_OFFSET32(KvrHostServices, malloc_fn, 0);
KVR_ASSERT_OFFSET32(KvrHostServices, free_fn, 4);
KVR_ASSERT_OFFSET32(KvrHostServices, reserved, 8);
KVR_ASSERT_OFFSET32(KvrHostServices, memcpy_fn, 12);
KVR_ASSERT_OFFSET32(KvrHostServices, memmove_fn, 16);
KVR_ASSERT_OFFSET32(KvrHostServices, memset_fn, 20);
KVR_ASSERT_OFFSET32(KvrHostServices, realloc_fn, 24);
KVR_ASSERT_OFFSET32(KvrHostServices, fopen_fn, 64);
KVR_ASSERT_OFFSET32(KvrHostServices, fread_fn, 68);
KVR_ASSERT_OFFSET32(KvrHostServices, fseek_fn, 72);
KVR_ASSERT_OFFSET32(KvrHostServices, ftell_fn, 76);
KVR_ASSERT_OFFSET32(KvrHostServices, fclose_fn, 80);
KVR_ASSERT_OFFSET32(KvrHostServices, feof_fn, 84);
KVR_ASSERT_OFFSET32(KvrHostServices, fflush_fn, 88);
KVR_ASSERT_OFFSET32(KvrHostServices, fwrite_fn, 92);
KVR_ASSERT_OFFSET32(KvrHostServices, unlink_fn, 96);
KVR_ASSERT_OFFSET32(KvrHostServices, fseek64_fn, 100);
KVR_ASSERT_OFFSET32(KvrHostServices, ftell64_fn, 104);
KVR_ASSERT_SIZE32(KvrHostServices, 108);

#endif
