/* RIFF header, main header and stream lists of an AVI file; the info records
 * handed to the host; stream selection. */
#include <string.h>

#include "avi_internal.h"

/* ---- chunk ids and file helpers ---- */

static int is_digit(uint32_t c) { return c >= '0' && c <= '9'; }

int avi_is_digit_id(uint32_t id) { return is_digit(id & 0xFF) && is_digit((id >> 8) & 0xFF); }

uint32_t avi_chunk_id(int number, char a, char b) {
  return AVI_FOURCC('0' + number / 10, '0' + number % 10, a, b);
}

int avi_stream_number(uint32_t id) {
  if (avi_is_digit_id(id)) return (int)((id & 0xFF) - '0') * 10 + (int)(((id >> 8) & 0xFF) - '0');
  if ((id & 0xFFFF) == AVI_FOURCC('i', 'x', 0, 0) && is_digit((id >> 16) & 0xFF) && is_digit(id >> 24))
    return (int)(((id >> 16) & 0xFF) - '0') * 10 + (int)((id >> 24) - '0');
  return -1;
}

int avi_is_stream_chunk(uint32_t id) {
  if (avi_is_digit_id(id)) {
    uint32_t t = id >> 16;
    return t == ('d' | 'b' << 8) || t == ('d' | 'c' << 8) || t == ('w' | 'b' << 8) ||
           t == ('p' | 'c' << 8) || t == ('i' | 'x' << 8) || t == ('t' | 'x' << 8) || t == ('x' | 'x' << 8);
  }
  return avi_stream_number(id) >= 0;
}

int avi_peek(AviFioHandle* h, uint8_t* dst, uint32_t n) { return __AVI_DMX__fioShowBytesByCopy(dst, n, h); }

int64_t avi_tell(AviFioHandle* h) { return __AVI_DMX__fioTell64(h); }

int avi_seek_to(AviFioHandle* h, int64_t pos) {
  if (pos < 0) return -1;
  return __AVI_DMX__fioSeek64(h, pos, KVR_SEEK_SET) == 0 ? 0 : -1;
}

void avi_to_end(AviFioHandle* h) {
  int32_t keep = avi_do_not_seek_to_eof;
  avi_do_not_seek_to_eof = 0;
  __AVI_DMX__fioSeek64(h, 0, KVR_SEEK_END);
  avi_do_not_seek_to_eof = keep;
}

int avi_skip(AviFioHandle* h, int64_t n) {
  if (n <= 0) return 0;
  if (__AVI_DMX__fioSeek64(h, n, KVR_SEEK_CUR) != 0) {
    avi_to_end(h);
    return -1;
  }
  return 0;
}

/* ---- memory ---- */

static void* grow(AviContext* c, void* array, uint32_t count, uint32_t item) {
  void* p = array ? avi_realloc(array, (size_t)(count + 1) * item) : avi_malloc(item);
  if (p == NULL) {
    c->last_error = array ? AVI_ERR_REALLOC : AVI_ERR_NO_MEMORY;
    return NULL;
  }
  avi_memset((uint8_t*)p + (size_t)count * item, 0, item);
  return p;
}

/* Suggested buffer sizes rounded up to a multiple of 4. Chunks of 10 MiB
 * or more are taken as damage, so no buffer is ever sized beyond that. */
static uint32_t round4(uint32_t v) { return v >= AVI_CHUNK_LIMIT ? AVI_CHUNK_LIMIT : (v + 3u) & ~3u; }

/* ---- walking ---- */

static const uint32_t kSkippedBeforeList[] = {
    AVI_FOURCC('J', 'U', 'N', 'K'), AVI_FOURCC('s', 't', 'r', 'd'), AVI_FOURCC('s', 't', 'r', 'f'),
    AVI_FOURCC('s', 't', 'r', 'n'), AVI_FOURCC('d', 'm', 'l', 'h'), AVI_FOURCC('v', 'p', 'r', 'p'),
    AVI_FOURCC('i', 'n', 'd', 'x'), AVI_FOURCC('k', 'v', 'r', 'h')};

static int in_list(uint32_t id, const uint32_t* list, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (list[i] == id) return 1;
  return 0;
}

/* Walks to "LIST" of form type `form` and enters it; the position of the
 * LIST header goes to *at. 0 found, -1 not. */
static int walk_to_list(AviFioHandle* h, uint32_t form, int64_t* at, uint32_t* list_size) {
  uint32_t passed = 0;
  uint8_t b[12];
  for (;;) {
    if (avi_peek(h, b, 12) < 12) return -1;
    uint32_t id = avi_rd32(b), size = avi_rd32(b + 4);
    if (id == AVI_FOURCC('L', 'I', 'S', 'T')) {
      if (avi_rd32(b + 8) == form) {
        if (at) *at = avi_tell(h);
        if (list_size) *list_size = size;
        __AVI_DMX__fioSkipBytes(12, h);
        return 0;
      }
      if (avi_skip(h, (int64_t)size + 8) != 0) return -1;
      continue;
    }
    if (in_list(id, kSkippedBeforeList, sizeof kSkippedBeforeList / sizeof kSkippedBeforeList[0])) {
      if (avi_skip(h, (int64_t)size + 8) != 0) return -1;
      continue;
    }
    if (++passed > AVI_WALK_LIMIT) return -1;
    __AVI_DMX__fioSkipBytes(1, h);
  }
}

/* ---- headers ---- */

int avi_read_headers(AviContext* c) {
  AviFioHandle* h = c->fh[AVI_FH_MAIN];
  uint8_t b[64];
  if (__AVI_DMX__fioRead(b, 1, 12, h) != 12) {
    c->last_error = AVI_ERR_NO_RIFF;
    return -1;
  }
  if (avi_rd32(b) != AVI_FOURCC('R', 'I', 'F', 'F') || avi_rd32(b + 8) != AVI_FOURCC('A', 'V', 'I', ' ')) {
    int found = 0;
    for (int step = 0; step < 1024 && !found; ++step) {
      if (avi_peek(h, b, 4) < 4) break;
      if (avi_rd32(b) == AVI_FOURCC('R', 'I', 'F', 'F')) {
        found = 1;
      } else {
        __AVI_DMX__fioSkipBytes(1, h);
      }
    }
    if (!found || avi_skip(h, 8) != 0 || __AVI_DMX__fioRead(b, 1, 4, h) != 4 ||
        avi_rd32(b) != AVI_FOURCC('A', 'V', 'I', ' ')) {
      c->last_error = AVI_ERR_NO_RIFF;
      return -1;
    }
  }
  if (walk_to_list(h, AVI_FOURCC('h', 'd', 'r', 'l'), NULL, NULL) != 0 || __AVI_DMX__fioRead(b, 1, 64, h) != 64 ||
      avi_rd32(b) != AVI_FOURCC('a', 'v', 'i', 'h')) {
    c->last_error = AVI_ERR_NO_HDRL;
    return -1;
  }
  c->avih_flags = avi_rd32(b + 20);
  c->avih_total_frames = avi_rd32(b + 24);
  c->avih_streams = avi_rd32(b + 32);
  c->avih_suggested = avi_rd32(b + 36);
  c->avih_width = avi_rd32(b + 40);
  c->avih_height = avi_rd32(b + 44);
  if (c->avih_flags & 0x20) c->last_error = AVI_ERR_AVIH_FLAG20;
  /* The stream count comes from the file: check the product before it can
   * wrap a 32-bit size. */
  /* Each stream needs a stream list of at least 76 bytes in the file, and
   * the table must not grow past what the host can give. */
  if (c->avih_streams == 0 || c->avih_streams > AVI_MAX_DECLARED_STREAMS ||
      (uint64_t)c->avih_streams * 76u > (uint64_t)c->file_size) {
    c->last_error = AVI_ERR_NO_STRL;
    return -1;
  }
  c->strh = (AviStreamHeader*)avi_malloc((size_t)c->avih_streams * 64u);
  if (c->strh == NULL) {
    c->last_error = AVI_ERR_NO_MEMORY;
    return -1;
  }
  avi_memset(c->strh, 0, (size_t)c->avih_streams * 64u);
  c->strh_count = c->avih_streams;
  c->max_suggested = round4(c->avih_suggested);
  return 0;
}

static void parse_strh(AviStreamHeader* s, const uint8_t* b) {
  s->id = avi_rd32(b);
  s->size = avi_rd32(b + 4);
  s->type = avi_rd32(b + 8);
  s->handler = avi_rd32(b + 12);
  s->flags = avi_rd32(b + 16);
  s->priority = (uint16_t)avi_rd16(b + 20);
  s->language = (uint16_t)avi_rd16(b + 22);
  s->initial_frames = avi_rd32(b + 24);
  s->scale = avi_rd32(b + 28);
  s->rate = avi_rd32(b + 32);
  s->start = avi_rd32(b + 36);
  s->length = avi_rd32(b + 40);
  s->suggested_buffer = avi_rd32(b + 44);
  s->quality = avi_rd32(b + 48);
  s->sample_size = avi_rd32(b + 52);
  for (int i = 0; i < 4; ++i) s->rect[i] = (uint16_t)avi_rd16(b + 56 + 2 * i);
}

/* Reads the "strf" header after "strh"; its size, or -1. */
static int64_t find_strf(AviContext* c, AviFioHandle* h) {
  uint8_t b[8];
  if (__AVI_DMX__fioRead(b, 1, 8, h) == 8 && avi_rd32(b) == AVI_FOURCC('s', 't', 'r', 'f')) return avi_rd32(b + 4);
  /* A short stream header: the 64 bytes we took reached into "strf". */
  if (__AVI_DMX__fioSeek64(h, -16, KVR_SEEK_CUR) == 0 && __AVI_DMX__fioRead(b, 1, 8, h) == 8 &&
      avi_rd32(b) == AVI_FOURCC('s', 't', 'r', 'f'))
    return avi_rd32(b + 4);
  c->last_error = AVI_ERR_NO_STRF;
  return -1;
}

/* Extra format bytes are bounded so that a damaged size cannot make the host
 * allocate gigabytes. */
enum { AVI_EXTRA_LIMIT = 0x100000 };

static int read_video_format(AviContext* c, AviFioHandle* h, AviStreamHeader* s) {
  if (s->handler == AVI_FOURCC('4', '6', '2', 'h')) s->handler = AVI_FOURCC('h', '2', '6', '4');
  if (s->handler == AVI_FOURCC('d', 'x', 'g', 'm')) s->handler = AVI_FOURCC('d', 'i', 'v', 'x');
  AviVideoFormat* a = (AviVideoFormat*)grow(c, c->video_fmt, (uint32_t)c->video.count, sizeof(AviVideoFormat));
  if (a == NULL) return -1;
  c->video_fmt = a;
  AviVideoFormat* f = &a[c->video.count];
  int64_t size = find_strf(c, h);
  if (size < 0) return -1;
  uint8_t b[40] = {0};
  uint32_t take = size < 40 ? (uint32_t)size : 40;
  if (__AVI_DMX__fioRead(b, 1, take, h) != take) {
    c->last_error = AVI_ERR_NO_STRF;
    return -1;
  }
  f->bi_size = avi_rd32(b);
  f->width = (int32_t)avi_rd32(b + 4);
  f->height = (int32_t)avi_rd32(b + 8);
  f->planes = (uint16_t)avi_rd16(b + 12);
  f->bit_count = (uint16_t)avi_rd16(b + 14);
  f->compression = avi_rd32(b + 16);
  f->size_image = avi_rd32(b + 20);
  f->x_ppm = (int32_t)avi_rd32(b + 24);
  f->y_ppm = (int32_t)avi_rd32(b + 28);
  f->clr_used = avi_rd32(b + 32);
  f->clr_important = avi_rd32(b + 36);
  c->video.count++;
  if (size > 40) {
    if (size - 40 > AVI_EXTRA_LIMIT) {
      c->last_error = AVI_ERR_NO_STRF;
      return -1;
    }
    f->extra = (uint8_t*)avi_malloc((size_t)(size - 40));
    if (f->extra == NULL) {
      c->last_error = AVI_ERR_NO_MEMORY;
      return -1;
    }
    avi_memset(f->extra, 0, (size_t)(size - 40));
    f->extra_size = (uint32_t)(size - 40);
    __AVI_DMX__fioRead(f->extra, 1, f->extra_size, h);
  }
  return 0;
}

static const uint8_t kBaseGuidTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

static int read_audio_format(AviContext* c, AviFioHandle* h) {
  AviAudioFormat* a = (AviAudioFormat*)grow(c, c->audio_fmt, (uint32_t)c->audio.count, sizeof(AviAudioFormat));
  if (a == NULL) return -1;
  c->audio_fmt = a;
  AviAudioFormat* f = &a[c->audio.count]; /* zeroed by grow: a 16-byte PCMWAVEFORMAT leaves cbSize 0 */
  int64_t size = find_strf(c, h);
  if (size < 0) return -1;
  uint8_t b[18] = {0};
  uint32_t take = size < 18 ? (uint32_t)size : 18;
  if (__AVI_DMX__fioRead(b, 1, take, h) != take) {
    c->last_error = AVI_ERR_NO_STRF;
    return -1;
  }
  f->format_tag = (uint16_t)avi_rd16(b);
  f->channels = (uint16_t)avi_rd16(b + 2);
  f->sample_rate = avi_rd32(b + 4);
  f->avg_bytes = avi_rd32(b + 8);
  f->block_align = (uint16_t)avi_rd16(b + 12);
  f->bits = (uint16_t)avi_rd16(b + 14);
  f->cb_size = (uint16_t)avi_rd16(b + 16);
  c->audio.count++;
  if (f->bits == 0) f->bits = 16;
  if (f->format_tag == 6 || f->format_tag == 7) {
    f->bits = 8;
    f->avg_bytes = (uint32_t)f->channels * f->sample_rate;
  }
  /* cbSize cannot reach past its own chunk. */
  if (f->cb_size && (size < 18 || f->cb_size > size - 18)) f->cb_size = (uint16_t)(size > 18 ? size - 18 : 0);
  if (f->cb_size) {
    f->extra = (uint8_t*)avi_malloc(f->cb_size);
    if (f->extra == NULL) {
      c->last_error = AVI_ERR_NO_MEMORY;
      return -1;
    }
    avi_memset(f->extra, 0, f->cb_size);
    __AVI_DMX__fioRead(f->extra, 1, f->cb_size, h);
    if (f->format_tag == 0xFFFE && f->cb_size > 21 && memcmp(f->extra + 10, kBaseGuidTail, 12) == 0)
      f->format_tag = (uint16_t)avi_rd16(f->extra + 6);
  }
  if (size > 18 + (int64_t)f->cb_size) avi_skip(h, size - 18 - f->cb_size);
  return 0;
}

static int read_meta_format(AviContext* c, AviFioHandle* h) {
  AviMetaFormat* a = (AviMetaFormat*)grow(c, c->meta_fmt, (uint32_t)c->meta.count, sizeof(AviMetaFormat));
  if (a == NULL) return -1;
  c->meta_fmt = a;
  AviMetaFormat* f = &a[c->meta.count];
  uint8_t b[8];
  if (__AVI_DMX__fioRead(b, 1, 8, h) != 8) {
    c->last_error = AVI_ERR_NO_STRF;
    return -1;
  }
  uint32_t size = avi_rd32(b + 4);
  uint32_t take = size < 80 ? size : 80;
  /* A shorter record stays zero-padded; the reader does not move past its
   * chunk, which would land inside the next stream list. */
  __AVI_DMX__fioRead(f->strf, 1, take, h);
  c->meta.count++;
  return 0;
}

static const uint32_t kSkippedInList[] = {
    AVI_FOURCC('J', 'U', 'N', 'K'), AVI_FOURCC('L', 'I', 'S', 'T'), AVI_FOURCC('s', 't', 'r', 'd'),
    AVI_FOURCC('s', 't', 'r', 'f'), AVI_FOURCC('s', 't', 'r', 'h'), AVI_FOURCC('s', 't', 'r', 'n'),
    AVI_FOURCC('v', 'p', 'r', 'p')};

int avi_read_stream_list(AviContext* c, uint32_t n) {
  AviFioHandle* h = c->fh[AVI_FH_MAIN];
  int64_t list_at = 0;
  uint32_t list_size = 0;
  uint8_t b[64];
  if (walk_to_list(h, AVI_FOURCC('s', 't', 'r', 'l'), &list_at, &list_size) != 0) {
    c->last_error = AVI_ERR_NO_STRL;
    return -1;
  }
  int64_t list_end = list_at + 8 + (int64_t)list_size;
  uint32_t type = 0;
  if (n < AVI_MAX_STREAMS) {
    if (avi_peek(h, b, 8) == 8 && avi_rd32(b) == AVI_FOURCC('s', 't', 'r', 'd')) avi_skip(h, 8 + (int64_t)avi_rd32(b + 4));
    if (__AVI_DMX__fioRead(b, 1, 64, h) != 64) {
      c->last_error = AVI_ERR_NO_STRF;
      return -1;
    }
    AviStreamHeader* s = &c->strh[n];
    parse_strh(s, b);
    if (s->size > 56) avi_skip(h, (int64_t)s->size - 56);
    type = s->type;
    int r = 0;
    if (type == AVI_FOURCC('v', 'i', 'd', 's')) {
      if (c->video.count >= AVI_MAX_STREAMS) goto rest;
      c->video.number[c->video.count] = (int32_t)n;
      r = read_video_format(c, h, s);
    } else if (type == AVI_FOURCC('a', 'u', 'd', 's')) {
      if (c->audio.count >= AVI_MAX_STREAMS) goto rest;
      c->audio.number[c->audio.count] = (int32_t)n;
      r = read_audio_format(c, h);
    } else if (type == AVI_FOURCC('m', 'e', 't', 'a')) {
      if (c->meta.count >= AVI_MAX_STREAMS) goto rest;
      c->meta.number[c->meta.count] = (int32_t)n;
      r = read_meta_format(c, h);
    } else if (type == AVI_FOURCC('m', 'i', 'd', 's')) {
      c->last_error = AVI_ERR_MIDI;
    } else if (type == AVI_FOURCC('t', 'x', 't', 's')) {
      c->last_error = AVI_ERR_TEXT;
    } else {
      c->last_error = AVI_ERR_STREAM_TYPE;
    }
    if (r != 0) return -1;
    if ((type == AVI_FOURCC('v', 'i', 'd', 's') || type == AVI_FOURCC('a', 'u', 'd', 's') ||
         type == AVI_FOURCC('m', 'e', 't', 'a')) &&
        round4(s->suggested_buffer) > c->max_suggested)
      c->max_suggested = round4(s->suggested_buffer);
  }
rest:;
  /* The rest of the list: remember an OpenDML super index, pass the rest. */
  uint32_t passed = 0;
  while (avi_tell(h) < list_end) {
    if (avi_peek(h, b, 8) < 8) break;
    uint32_t id = avi_rd32(b), size = avi_rd32(b + 4);
    if (id == AVI_FOURCC('i', 'n', 'd', 'x')) {
      if (n < AVI_MAX_STREAMS &&
          (type == AVI_FOURCC('v', 'i', 'd', 's') || type == AVI_FOURCC('a', 'u', 'd', 's')))
        c->super_pos[n] = avi_tell(h);
      if (avi_skip(h, (int64_t)size + 8) != 0) break;
    } else if (in_list(id, kSkippedInList, sizeof kSkippedInList / sizeof kSkippedInList[0])) {
      if (avi_skip(h, (int64_t)size + 8) != 0) break;
    } else if (++passed > AVI_WALK_LIMIT + 1) {
      if (avi_seek_to(h, list_end) != 0) avi_to_end(h);
      break;
    } else {
      __AVI_DMX__fioSkipBytes(1, h);
    }
  }
  c->header_streams_read = n + 1;
  return 0;
}

/* ---- info records ---- */

#define F AVI_FOURCC
static const uint32_t kKnownVideo[] = {
    F('D','X','5','0'), F('d','x','5','0'), F('A','V','C','1'), F('a','v','c','1'), F('U','M','P','4'),
    F('u','m','p','4'), F('H','2','6','4'), F('h','2','6','4'), F('X','2','6','4'), F('x','2','6','4'),
    F('C','O','L','1'), F('c','o','l','1'), F('3','I','V','2'), F('3','i','v','2'), F('F','M','D','4'),
    F('f','m','d','4'), F('M','P','G','4'), F('m','p','g','4'), F('F','M','P','4'), F('f','m','p','4'),
    F('R','M','P','4'), F('r','m','p','4'), F('S','M','P','4'), F('D','I','V','4'), F('d','i','v','4'),
    F('D','A','V','C'), F('d','a','v','c'), F('X','V','I','D'), F('x','v','i','d'), F('D','I','V','F'),
    F('d','i','v','f'), F('S','E','D','G'), F('V','S','S','H'), F('v','s','s','h'), F('M','P','4','V'),
    F('m','p','4','v'), F('F','V','F','W'), F('f','v','f','w'), F('D','I','V','X'), F('d','i','v','x'),
    F('M','P','4','2'), F('M','P','4','3'), F('m','p','4','2'), F('m','p','4','3'), F('M','4','S','2'),
    F('m','4','s','2'), F('M','P','4','S'), F('m','p','4','s'), F('X','v','i','D'), F('X','v','i','d'),
    F('E','M','4','A'), F('D','C','O','D'), F('W','V','1','F'), F('D','I','G','I'), F('S','2','6','3'),
    F('s','2','6','3'), F('H','2','6','3'), F('h','2','6','3'), F('U','2','6','3'), F(0,'V','C','1'),
    F('W','V','C','1'), F('w','v','c','1'), F(0,'v','c','1'), F('F','L','V','1'), F('f','l','v','1'),
    F('W','M','V','1'), F('W','M','V','2'), F('W','M','V','3'), F('w','m','v','1'), F('w','m','v','2'),
    F('w','m','v','3'), F('W','M','V','A'), F('w','m','v','a'), F('m','j','p','g'), F('M','J','P','G'),
    F('I','J','P','G'), F('m','j','p','a'), F('m','j','p','b'), F('3','I','V','1'), F('S','V','Q','1'),
    F('S','V','Q','3'), F('V','P','3','1'), F('m','p','g','1'), F('m','1','v','1'), F('m','2','v','1'),
    F('h','d','v','1'), F('M','P','G','2'), F('m','p','g','2'), F('D','I','V','3'), F('d','i','v','3'),
    F('M','P','E','G'), F('m','p','e','g'), F('M','M','E','S'), F('M','P','2','V'), F('m','p','2','v'),
    F('c','v','i','d'), F('R','V','1','0'), F('R','V','3','0'), F('r','v','1','0'), F('r','v','3','0'),
    F('R','V','2','0'), F('r','v','2','0'), F('R','V','4','0'), F('r','v','4','0'), F('V','P','8','0'),
    F('v','p','8','0'), F('T','R','O','M'), F('V','_','V','P'), F('v','_','v','p')};
#undef F
KVR_STATIC_ASSERT(sizeof kKnownVideo / sizeof kKnownVideo[0] == 109, "109 known video codes");

static uint32_t video_format_code(const AviStreamHeader* s, const AviVideoFormat* f) {
  uint32_t code = s->handler;
  if (f->compression == AVI_FOURCC('D', 'I', 'V', '3') || f->compression == AVI_FOURCC('d', 'i', 'v', '3') ||
      s->handler == AVI_FOURCC('F', 'F', 'D', 'S') || s->handler == AVI_FOURCC('f', 'f', 'd', 's') ||
      s->handler == AVI_FOURCC('y', 'v', '1', '2') || s->handler == 0)
    code = f->compression;
  if (in_list(f->compression, kKnownVideo, sizeof kKnownVideo / sizeof kKnownVideo[0])) code = f->compression;
  return code;
}

static int is_mp4s(uint32_t v) { return v == AVI_FOURCC('M', 'P', '4', 'S') || v == AVI_FOURCC('m', 'p', '4', 's'); }

static void build_prefix(AviContext* c, const AviStreamHeader* s, const AviVideoFormat* f, uint32_t code) {
  if (!(is_mp4s(s->handler) || is_mp4s(code)) || f->extra_size <= 17 || c->prefix_len) return;
  for (uint32_t j = 0; j <= 128 && j + 3 < f->extra_size; ++j) {
    const uint8_t* p = f->extra + j;
    if (p[0] == 0 && p[1] == 0 && p[2] == 1 && p[3] == 0x20) {
      if (j + 13 < f->extra_size && j + 14 <= f->extra_size) {
        static const uint8_t head[4] = {0, 0, 1, 0};
        avi_memcpy(c->prefix, head, 4);
        avi_memcpy(c->prefix + 4, p, 14);
        c->prefix_len = AVI_PREFIX_MAX;
      }
      return;
    }
  }
}

static uint32_t stream_ms(const AviStreamHeader* s) {
  if (s->rate == 0 || s->scale == 0) return 0;
  uint64_t ms = (uint64_t)s->scale * s->length * 1000u / s->rate;
  return ms > 0xFFFFFFFFu ? 0xFFFFFFFFu : (uint32_t)ms;
}

int avi_build_info(AviContext* c) {
  if (c->video.count) {
    c->video_info = (AviVideoInfo*)avi_malloc(sizeof(AviVideoInfo) * (size_t)c->video.count);
    if (c->video_info == NULL) return -1;
    avi_memset(c->video_info, 0, sizeof(AviVideoInfo) * (size_t)c->video.count);
  }
  if (c->audio.count) {
    c->audio_info = (AviAudioInfo*)avi_malloc(sizeof(AviAudioInfo) * (size_t)c->audio.count);
    if (c->audio_info == NULL) return -1;
    avi_memset(c->audio_info, 0, sizeof(AviAudioInfo) * (size_t)c->audio.count);
  }
  if (c->meta.count) {
    c->meta_info = (AviMetaInfo*)avi_malloc(sizeof(AviMetaInfo) * (size_t)c->meta.count);
    if (c->meta_info == NULL) return -1;
    avi_memset(c->meta_info, 0, sizeof(AviMetaInfo) * (size_t)c->meta.count);
  }
  uint32_t vdur = 0, adur = 0;
  for (int i = 0; i < c->video.count; ++i) {
    const AviStreamHeader* s = &c->strh[c->video.number[i]];
    const AviVideoFormat* f = &c->video_fmt[i];
    AviVideoInfo* v = &c->video_info[i];
    v->id = 10 + i;
    v->width = c->avih_width ? c->avih_width : (uint32_t)f->width;
    v->height = c->avih_height ? c->avih_height : (uint32_t)f->height;
    v->frame_rate_milli = (s->rate && s->scale) ? (uint32_t)((uint64_t)s->rate * 1000u / s->scale) : 0;
    v->fourcc = video_format_code(s, f);
    v->extra = f->extra;
    v->extra_size = f->extra_size;
    v->bit_count = f->bit_count;
    build_prefix(c, s, f, v->fourcc);
    uint32_t ms = stream_ms(s);
    if (ms > vdur) vdur = ms;
  }
  for (int i = 0; i < c->audio.count; ++i) {
    const AviAudioFormat* f = &c->audio_fmt[i];
    AviAudioInfo* a = &c->audio_info[i];
    a->id = 30 + i;
    a->sample_rate = f->sample_rate;
    a->bits_per_sample = f->bits;
    a->channels = f->channels;
    a->format_tag = f->format_tag;
    a->extra = f->extra;
    a->extra_size = f->cb_size;
    a->block_align = f->block_align;
    a->avg_bytes_per_sec = f->avg_bytes;
    uint32_t ms = stream_ms(&c->strh[c->audio.number[i]]);
    if (ms > adur) adur = ms;
  }
  for (int i = 0; i < c->meta.count; ++i) {
    c->meta_info[i].id = 70 + i;
    avi_memcpy(c->meta_info[i].strf, c->meta_fmt[i].strf, 80);
    uint32_t ms = stream_ms(&c->strh[c->meta.number[i]]);
    if (ms > adur) adur = ms;
  }
  c->video_duration_ms = vdur;
  c->audio_duration_ms = adur;
  c->duration_ms = vdur > adur ? vdur : adur;
  return 0;
}

/* ---- selection ---- */

void avi_default_selection(AviContext* c, int* video, int* audio, int* meta) {
  int best = 0, pick = 0;
  for (int i = 0; i < c->video.count; ++i) {
    const AviStreamHeader* s = &c->strh[c->video.number[i]];
    const AviVideoFormat* f = &c->video_fmt[i];
    if (s->rate && s->scale && (uint32_t)f->width == c->avih_width && (uint32_t)f->height == c->avih_height &&
        s->priority > best) {
      best = s->priority;
      pick = i;
    }
  }
  *video = pick;
  best = 0;
  pick = 0;
  for (int i = 0; i < c->audio.count; ++i) {
    const AviStreamHeader* s = &c->strh[c->audio.number[i]];
    if (c->audio_fmt[i].channels && s->priority > best) {
      best = s->priority;
      pick = i;
    }
  }
  *audio = pick;
  best = 0;
  pick = 0;
  for (int i = 0; i < c->meta.count; ++i) {
    const AviStreamHeader* s = &c->strh[c->meta.number[i]];
    if (s->priority > best) {
      best = s->priority;
      pick = i;
    }
  }
  *meta = pick;
}

int avi_is_video_id(const AviContext* c, uint32_t id) {
  return c->video.count && (id == c->id_dc || id == c->id_db || id == AVI_FOURCC('0', '0', 'x', 'x'));
}

int avi_select(AviContext* c, int kind, int ordinal) {
  if (kind == AVI_KIND_VIDEO) {
    if (ordinal < 0 || ordinal >= c->video.count) {
      c->last_error = AVI_ERR_VIDEO_RANGE;
      return -1;
    }
    c->video.selected = ordinal;
    int n = c->video.number[ordinal];
    const AviStreamHeader* s = &c->strh[n];
    c->id_dc = avi_chunk_id(n, 'd', 'c');
    c->id_db = avi_chunk_id(n, 'd', 'b');
    c->id_ix_video = AVI_FOURCC('i', 'x', '0' + n / 10, '0' + n % 10);
    c->frame_ns = s->rate ? (int64_t)((uint64_t)s->scale * 1000000000u / s->rate) : 0;
    c->video_scale = s->rate ? s->scale : 0;
    c->video_rate = s->rate;
    if (c->super_pos[n] >= 0 && avi_read_super_index(c, 0, n) == 0) c->index_mode = AVI_INDEX_ODML;
    return 0;
  }
  if (kind == AVI_KIND_AUDIO) {
    if (ordinal < 0 || ordinal >= c->audio.count) {
      c->last_error = AVI_ERR_AUDIO_RANGE;
      return -1;
    }
    c->audio.selected = ordinal;
    int n = c->audio.number[ordinal];
    AviStreamHeader* s = &c->strh[n];
    const AviAudioFormat* f = &c->audio_fmt[ordinal];
    c->id_wb = avi_chunk_id(n, 'w', 'b');
    c->id_ix_audio = AVI_FOURCC('i', 'x', '0' + n / 10, '0' + n % 10);
    c->audio_avg = f->avg_bytes;
    if (f->block_align > 4095 || (f->format_tag == 0xFF && f->block_align > 1023)) s->sample_size = 0;
    if (s->sample_size == 0 && s->scale != 0 && s->rate != 0 && f->avg_bytes != s->rate / s->scale) {
      c->audio_block_us = (int64_t)((uint64_t)s->scale * 1000000u / s->rate);
      c->audio_scale = s->scale;
      c->audio_rate = s->rate;
      c->audio_block_align = f->block_align;
    } else {
      c->audio_block_us = 0;
      c->audio_block_align = 0;
      if (f->avg_bytes == 0 && c->audio.count == 1) c->audio_zero_rate = 1;
    }
    if (c->super_pos[n] >= 0 && avi_read_super_index(c, 1, n) == 0 && c->index_mode == AVI_INDEX_NONE)
      c->index_mode = AVI_INDEX_ODML_AUDIO;
    return 0;
  }
  if (kind == AVI_KIND_META_SELECT) {
    if (ordinal < 0 || ordinal >= c->meta.count) {
      c->last_error = AVI_ERR_META_RANGE;
      return -1;
    }
    c->meta.selected = ordinal;
    c->id_mt = avi_chunk_id(c->meta.number[ordinal], 'm', 't');
    return 0;
  }
  c->last_error = AVI_ERR_SELECT_KIND;
  return -1;
}

void avi_release_audio_streams(AviContext* c) {
  for (int i = 0; i < c->audio.count; ++i) avi_free(c->audio_fmt[i].extra);
  avi_free(c->audio_fmt);
  c->audio_fmt = NULL;
  avi_free(c->audio_info);
  c->audio_info = NULL;
  c->audio.count = 0;
  c->audio.selected = 0;
}

KVR_EXPORT int32_t estimate_file_size(AviContext* c) {
  if (c == NULL || c->fh[AVI_FH_MAIN] == NULL) return 0;
  AviFioHandle* h = c->fh[AVI_FH_MAIN];
  int64_t keep = avi_tell(h);
  uint64_t total = 0;
  uint8_t b[12];
  for (int i = 0; i < 5; ++i) {
    int found = 0;
    for (int step = 0; step < 1024; ++step) {
      if (avi_peek(h, b, 12) < 12) break;
      if (avi_rd32(b) == AVI_FOURCC('R', 'I', 'F', 'F')) {
        found = 1;
        break;
      }
      __AVI_DMX__fioSkipBytes(1, h);
    }
    if (!found) break;
    uint32_t form = avi_rd32(b + 8), size = avi_rd32(b + 4);
    if (form != AVI_FOURCC('A', 'V', 'I', ' ') && form != AVI_FOURCC('A', 'V', 'I', 'X')) break;
    total += size;
    if (size < 12 || avi_skip(h, (int64_t)size - 12) != 0) break;
  }
  if (total) c->file_size = (int64_t)total;
  avi_seek_to(h, keep);
  return 0;
}
