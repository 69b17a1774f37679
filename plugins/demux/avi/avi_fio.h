#ifndef KVR_AVI_FIO_H
#define KVR_AVI_FIO_H
/* Buffered file access of the AVI demuxer over the host's file callbacks. */
#include <stdint.h>

#include "kvr_plugin.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The 17-slot callback table handed to __AVI_DMX__fioSetFunc. */
typedef struct AviFioTable {
  KvrMallocFn malloc;    /* 0 */
  KvrReallocFn realloc;  /* 1 */
  KvrFreeFn free;        /* 2 */
  void* reserved;        /* 3: handed on, never called */
  KvrMemcpyFn memcpy;    /* 4 */
  KvrMemmoveFn memmove;  /* 5 */
  KvrMemsetFn memset;    /* 6 */
  KvrFopenFn fopen;      /* 7 */
  KvrFcloseFn fclose;    /* 8 */
  KvrFreadFn fread;      /* 9 */
  KvrFwriteFn fwrite;    /* 10 */
  KvrFseekFn fseek;      /* 11 */
  KvrFtellFn ftell;      /* 12 */
  KvrFeofFn feof;        /* 13 */
  KvrFflushFn fflush;    /* 14 */
  KvrFseek64Fn fseek64;  /* 15, may be null */
  KvrFtell64Fn ftell64;  /* 16, may be null */
} AviFioTable;
KVR_ASSERT_SIZE32(AviFioTable, 68);

enum { AVI_FIO_IDLE = (int32_t)0x80000000u, AVI_FIO_READING = 1, AVI_FIO_WRITING = 2 };

typedef struct AviFioHandle {
  void* file;
  uint8_t* cache;
  uint32_t offset;    /* start of the unconsumed bytes in the cache */
  uint32_t fill;      /* unconsumed (reading) or pending (writing) bytes */
  int32_t state;
  uint32_t refill;    /* bytes one refill asks the host for */
  uint32_t capacity;
} AviFioHandle;
KVR_ASSERT_SIZE32(AviFioHandle, 28);

/* Open mode flags: read, binary. */
enum { AVI_FIO_READ_BINARY = 0x210 };

KVR_EXPORT void __AVI_DMX__fioSetFunc(void* const* table);
KVR_EXPORT AviFioHandle* __AVI_DMX__fioOpen(const char* path, uint32_t mode, uint32_t cacheSize);
KVR_EXPORT int32_t __AVI_DMX__fioClose(AviFioHandle* h);
KVR_EXPORT int32_t __AVI_DMX__fioShowBytesByPtr(const uint8_t** out, uint32_t n, AviFioHandle* h);
KVR_EXPORT int32_t __AVI_DMX__fioShowBytesByCopy(uint8_t* dst, uint32_t n, AviFioHandle* h);
KVR_EXPORT void __AVI_DMX__fioSkipBytes(uint32_t n, AviFioHandle* h);
KVR_EXPORT uint32_t __AVI_DMX__fioRead(void* dst, uint32_t size, uint32_t count, AviFioHandle* h);
KVR_EXPORT uint32_t __AVI_DMX__IoWrite(const void* src, uint32_t size, uint32_t count,
                                       AviFioHandle* h);
KVR_EXPORT int32_t __AVI_DMX__fioSeek(AviFioHandle* h, int32_t offset, int32_t whence);
KVR_EXPORT int32_t __AVI_DMX__fioSeek64(AviFioHandle* h, int64_t offset, int32_t whence);
KVR_EXPORT int32_t __AVI_DMX__fioTell(AviFioHandle* h);
KVR_EXPORT int64_t __AVI_DMX__fioTell64(AviFioHandle* h);
KVR_EXPORT int32_t __AVI_DMX__fioIsEof(AviFioHandle* h);
KVR_EXPORT int32_t __AVI_DMX__fioFlush(AviFioHandle* h);
KVR_EXPORT int32_t __AVI_DMX__fioSetCacheReadSize(AviFioHandle* h, uint32_t n);

/* Copy of open flag bit 4: end-relative seeks become absolute. */
extern KVR_EXPORT int32_t avi_do_not_seek_to_eof;

#ifdef __cplusplus
}
#endif

#endif
