#ifndef ES_TEST_CONTEXT_H
#define ES_TEST_CONTEXT_H
/* A stand-in for the demuxer context in tests of the header parsers: just
 * the payload, the error pair and the counting flags that the parsers reach
 * through the context accessors. */
#include <stdint.h>

#include "ts_es.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct EsTestContext {
  const uint8_t* payload;
  int32_t length;
  int32_t lastError;
  int32_t errorLine;
  int32_t pending[TSD_PENDING_COUNT];
} EsTestContext;

/* Error pair written for a null context. */
extern int32_t g_esTestLastError;
extern int32_t g_esTestErrorLine;

#ifdef __cplusplus
}
#endif

#endif
