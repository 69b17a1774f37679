#ifndef KVR_FLV_FIO_H
#define KVR_FLV_FIO_H
/* The FLV library's buffered file I/O and the bit reader that shares its
 * handle. */
#include <stdint.h>

#include "kvr_plugin.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The handle: the transport-stream handle's fields in their order, then the
 * bit reader's. */
typedef struct FlvFioHandle {
  void* file;
  uint8_t* cache;
  uint32_t offset;
  uint32_t valid;
  int32_t state;
  uint32_t fillSize;
  uint32_t cacheSize;
  uint32_t extraMode;
  uint32_t extra;
  int32_t validBits;          /* bits at the top of `window` */
  kvr_u64 window;             /* next bit in bit 63 */
  uint32_t ownSkip;           /* the bit reader's own byte skip: keep the window */
} FlvFioHandle;
KVR_ASSERT_OFFSET32(FlvFioHandle, extra, 32);
KVR_ASSERT_OFFSET32(FlvFioHandle, validBits, 36);
KVR_ASSERT_OFFSET32(FlvFioHandle, window, 40);

KVR_EXPORT void __FLV_DMX__fioSetFunc(void* const* table);
KVR_EXPORT FlvFioHandle* __FLV_DMX__fioOpen(const char* path, uint32_t flags, uint32_t cacheSize,
                                            uint32_t extraFlag, uint32_t extraSize);
KVR_EXPORT int32_t __FLV_DMX__fioClose(FlvFioHandle* h);
KVR_EXPORT int32_t __FLV_DMX__fioShowBytesByPtr(const uint8_t** out, uint32_t n, FlvFioHandle* h);
KVR_EXPORT int32_t __FLV_DMX__fioShowBytesByCopy(uint8_t* dst, uint32_t n, FlvFioHandle* h);
KVR_EXPORT int32_t __FLV_DMX__fioSkipBytes(uint32_t n, FlvFioHandle* h);
KVR_EXPORT uint32_t __FLV_DMX__fioRead(void* dst, uint32_t size, uint32_t count, FlvFioHandle* h);
KVR_EXPORT uint32_t __FLV_DMX__fioWrite(const void* src, uint32_t size, uint32_t count,
                                        FlvFioHandle* h);
KVR_EXPORT int32_t __FLV_DMX__fioSeek(FlvFioHandle* h, int32_t offset, int32_t whence);
KVR_EXPORT int32_t __FLV_DMX__fioSeek64(FlvFioHandle* h, int64_t offset, int32_t whence);
KVR_EXPORT int32_t __FLV_DMX__fioTell(FlvFioHandle* h);
KVR_EXPORT int64_t __FLV_DMX__fioTell64(FlvFioHandle* h);
KVR_EXPORT int32_t __FLV_DMX__fioIsEof(FlvFioHandle* h);
KVR_EXPORT int32_t __FLV_DMX__fioFlush(FlvFioHandle* h);
KVR_EXPORT int32_t __FLV_DMX__fioSetCacheReadSize(FlvFioHandle* h, uint32_t n);
KVR_EXPORT uint32_t __FLV_DMX__fioGetCacheReadSize(FlvFioHandle* h);
KVR_EXPORT int64_t __FLV_DMX__fiodbgReadBytes(void);
KVR_EXPORT void __FLV_DMX__fiodbgReset(void);

KVR_EXPORT int32_t __FLV_DMX__bitInit(FlvFioHandle* h);
KVR_EXPORT uint32_t __FLV_DMX__bitShowBit(FlvFioHandle* h);
KVR_EXPORT uint32_t __FLV_DMX__bitShowUBits(FlvFioHandle* h, int32_t n);
KVR_EXPORT uint32_t __FLV_DMX__bitShowSBits(FlvFioHandle* h, int32_t n);
KVR_EXPORT uint32_t __FLV_DMX__bitGetBit(FlvFioHandle* h);
KVR_EXPORT uint32_t __FLV_DMX__bitGetUBits(FlvFioHandle* h, int32_t n);
KVR_EXPORT uint32_t __FLV_DMX__bitGetSBits(FlvFioHandle* h, int32_t n);
KVR_EXPORT void __FLV_DMX__bitSkipBits(FlvFioHandle* h, int32_t n);
KVR_EXPORT void __FLV_DMX__bitSkipBitsLong(FlvFioHandle* h, uint32_t n);

#ifdef __cplusplus
}
#endif

#endif
