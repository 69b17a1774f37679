#ifndef KVR_TS_FIO_H
#define KVR_TS_FIO_H
/* Buffered file I/O of the transport-stream demuxer. */
#include <stdint.h>

#include "kvr_plugin.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The 17-slot callback table handed to __TS_DMX__fioSetFunc. */
typedef struct TsFioTable {
  KvrMallocFn malloc;    /* 0 */
  KvrReallocFn realloc;  /* 1: stored only */
  KvrFreeFn free;        /* 2 */
  void* reserved;        /* 3: stored only */
  KvrMemcpyFn memcpy;    /* 4 */
  KvrMemmoveFn memmove;  /* 5: stored only */
  KvrMemsetFn memset;    /* 6: stored only */
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
} TsFioTable;
KVR_ASSERT_SIZE32(TsFioTable, 68);

enum { FIO_IDLE = (int32_t)0x80000000u, FIO_READING = 1, FIO_WRITING = 2 };

typedef struct FioHandle {
  void* file;
  uint8_t* cache;
  uint32_t offset;     /* start of the unconsumed bytes in the cache */
  uint32_t valid;      /* unconsumed (reading) or pending (writing) bytes */
  int32_t state;
  uint32_t fillSize;   /* bytes asked from the file per refill; 0 = only what is asked */
  uint32_t cacheSize;
  uint32_t extraMode;
  uint32_t extra;
} FioHandle;
KVR_ASSERT_OFFSET32(FioHandle, offset, 8);
KVR_ASSERT_OFFSET32(FioHandle, extra, 32);

KVR_EXPORT void __TS_DMX__fioSetFunc(void* const* table);
KVR_EXPORT FioHandle* __TS_DMX__fioOpen(const char* path, uint32_t flags, uint32_t cacheSize,
                                        uint32_t extraSize);
KVR_EXPORT int32_t __TS_DMX__fioClose(FioHandle* h);
KVR_EXPORT int32_t __TS_DMX__fioShowBytesByPtr(const uint8_t** out, uint32_t n, FioHandle* h);
KVR_EXPORT int32_t __TS_DMX__fioShowBytesByCopy(uint8_t* dst, uint32_t n, FioHandle* h);
KVR_EXPORT int32_t __TS_DMX__fioSkipBytes(uint32_t n, FioHandle* h);
KVR_EXPORT uint32_t __TS_DMX__fioRead(void* dst, uint32_t size, uint32_t count, FioHandle* h);
KVR_EXPORT uint32_t __TS_DMX__fioWrite(const void* src, uint32_t size, uint32_t count,
                                       FioHandle* h);
KVR_EXPORT int32_t __TS_DMX__fioSeek(FioHandle* h, int32_t offset, int32_t whence);
KVR_EXPORT int32_t __TS_DMX__fioSeek64(FioHandle* h, int64_t offset, int32_t whence);
KVR_EXPORT int32_t __TS_DMX__fioTell(FioHandle* h);
KVR_EXPORT int64_t __TS_DMX__fioTell64(FioHandle* h);
KVR_EXPORT int32_t __TS_DMX__fioIsEof(FioHandle* h);
KVR_EXPORT int32_t __TS_DMX__fioFlush(FioHandle* h);
KVR_EXPORT int32_t __TS_DMX__fioSetCacheReadSize(FioHandle* h, uint32_t n);
KVR_EXPORT uint32_t __TS_DMX__fioGetCacheReadSize(FioHandle* h);
KVR_EXPORT int64_t __TS_DMX__fiodbgReadBytes(void);
KVR_EXPORT void __TS_DMX__fiodbgReset(void);

#ifdef __cplusplus
}
#endif

#endif
