/* Context accessors over EsTestContext (the library's own are defined by the
 * container code over its real context). */
#include <stddef.h>

#include "es_test_context.h"

int32_t g_esTestLastError;
int32_t g_esTestErrorLine;
static int32_t g_processPending[TSD_PENDING_COUNT];

const uint8_t* tsd_es_payload(void* context, int32_t* length) {
  EsTestContext* ctx = (EsTestContext*)context;
  if (ctx == NULL || ctx->payload == NULL || ctx->length <= 0) {
    if (length) *length = 0;
    return NULL;
  }
  if (length) *length = ctx->length;
  return ctx->payload;
}

void tsd_es_set_error(void* context, int32_t code, int32_t line) {
  EsTestContext* ctx = (EsTestContext*)context;
  if (ctx) {
    ctx->lastError = code;
    ctx->errorLine = line;
  } else {
    g_esTestLastError = code;
    g_esTestErrorLine = line;
  }
}

int32_t* tsd_es_pending_flags(void* context) {
  EsTestContext* ctx = (EsTestContext*)context;
  return ctx ? ctx->pending : g_processPending;
}
