#include <string.h>

#include "toy_formats.h"

typedef struct Ctx {
  KvrHostServices host;
  void* file;
  int32_t frames;
  int32_t next;
  uint8_t* buffer;
  uint32_t capacity;
  int64_t first_frame;
} Ctx;

static uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24; }

static int read_exact(Ctx* c, void* dst, size_t n) {
  return c->host.fread_fn(dst, 1, n, c->file) == n ? 0 : TOY_IO;
}

static void destroy(Ctx* c) {
  if (c->file) c->host.fclose_fn(c->file);
  if (c->buffer) c->host.free_fn(c->buffer);
  c->host.free_fn(c);
}

static int32_t toy_open(void** slot, const ToyOpenRecord* rec, ToyInfoRecord* info) {
  Ctx* c = (Ctx*)rec->host.malloc_fn(sizeof(Ctx));
  uint8_t head[8];
  if (!c) return TOY_NO_MEMORY;
  rec->host.memset_fn(c, 0, sizeof *c);
  c->host = rec->host;
  c->file = c->host.fopen_fn(rec->file, "rb");
  if (!c->file) {
    destroy(c);
    return TOY_NO_FILE;
  }
  if (read_exact(c, head, 8) || memcmp(head, "TOY1", 4) != 0 || (int32_t)le32(head + 4) < 0) {
    destroy(c);
    return TOY_BAD_FILE;
  }
  c->frames = (int32_t)le32(head + 4);
  c->first_frame = 8;
  if (info) info->frames = c->frames;
  *slot = c;
  return 0;
}

static int32_t toy_next(Ctx* c, ToyFrameRecord* out) {
  uint8_t head[9];
  uint32_t len;
  if (c->next >= c->frames) return TOY_END;
  if (read_exact(c, head, 9)) return TOY_IO;
  len = le32(head);
  if (len > (1u << 20)) return TOY_BAD_FILE;
  if (len > c->capacity) {
    uint8_t* grown = (uint8_t*)c->host.realloc_fn(c->buffer, len);
    if (!grown) return TOY_NO_MEMORY;
    c->buffer = grown;
    c->capacity = len;
  }
  if (len && read_exact(c, c->buffer, len)) return TOY_IO;
  out->data = c->buffer;
  out->size = (int32_t)len;
  out->time_ms = (int32_t)le32(head + 4);
  out->key = head[8];
  c->next++;
  return 0;
}

/* Lands on the first frame at or after the target time. */
static int32_t toy_seek(Ctx* c, const int32_t* target, int32_t* landed) {
  uint8_t head[9];
  int32_t n = 0;
  if (c->host.fseek64_fn(c->file, c->first_frame, KVR_SEEK_SET)) return TOY_IO;
  for (; n < c->frames; ++n) {
    int64_t here = c->host.ftell64_fn(c->file);
    if (read_exact(c, head, 9)) return TOY_IO;
    if ((int32_t)le32(head + 4) >= *target) {
      if (c->host.fseek64_fn(c->file, here, KVR_SEEK_SET)) return TOY_IO;
      c->next = n;
      *landed = (int32_t)le32(head + 4);
      return 0;
    }
    if (c->host.fseek64_fn(c->file, le32(head), KVR_SEEK_CUR)) return TOY_IO;
  }
  return TOY_END;
}

KVR_EXPORT int32_t KVR_TOY_DMX(int32_t op, void* handle, void* in, void* out) {
  void** slot = (void**)handle;
  if (!slot) return TOY_NO_HANDLE;
  if (op == TOY_OPEN) return toy_open(slot, (const ToyOpenRecord*)in, (ToyInfoRecord*)out);
  if (!*slot) return TOY_NO_HANDLE;
  switch (op) {
    case TOY_NEXT: return toy_next((Ctx*)*slot, (ToyFrameRecord*)out);
    case TOY_SEEK: return toy_seek((Ctx*)*slot, (const int32_t*)in, (int32_t*)out);
    case TOY_CLOSE:
      destroy((Ctx*)*slot);
      *slot = 0;
      return 0;
    default: return TOY_BAD_OP;
  }
}

KVR_DEFINE_FUNCTION_LIST(KVR_TOY_DMX);
