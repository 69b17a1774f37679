/* APE demuxer: header and tag parsing, frame delivery and seeking by time.
 * Every memory and file operation goes through the host's functions. */

#include <string.h>

#include "kvr_ape_dmx.h"

KVR_EXPORT const char APETAGINFO_PREAMPLE[8] = "APETAGEX";
KVR_EXPORT const char APETAGINFO_ARTIST[8] = "Artist";
KVR_EXPORT const char APETAGINFO_ALBUM[8] = "Album";
KVR_EXPORT const char APETAGINFO_TITLE[8] = "Title";
KVR_EXPORT const char APETAGINFO_TRACK[8] = "Track";
KVR_EXPORT const char APETAGINFO_GENRE[8] = "Genre";
KVR_EXPORT const char APETAGINFO_YEAR[8] = "Year";
KVR_EXPORT const char APETAGINFO_COMMENT[8] = "Comment";

enum {
  DESCRIPTOR_VERSION = 3980, /* first version with the descriptor */
  DESCRIPTOR_MIN_BYTES = 52,
  DESCRIPTOR_HEADER_BYTES = 24,
  OLD_HEADER_BYTES = 32,
  MAX_COMPRESSION_LEVEL = 4000,
  TAG_FOOTER_BYTES = 32,
  TAG_VALUE_MAX = APE_TAG_FIELD_SIZE - 1,
  ID3_HEADER_BYTES = 10
};
#define TAG_HAS_HEADER 0x80000000u

/* Old-header format flags. */
enum {
  FLAG_8_BIT = 0x01,
  FLAG_PEAK_LEVEL = 0x04,
  FLAG_24_BIT = 0x08,
  FLAG_SEEK_ELEMENTS = 0x10,
  FLAG_NO_WAV_HEADER = 0x20
};

typedef struct ApeContext {
  void* file;
  const ApeHostFunctions* host;
  uint8_t* frame_buffer;
  uint32_t frame_capacity;
  uint32_t bit_rate;
  uint32_t file_size;
  int32_t duration_ms;
  ApeHeader header;
  uint8_t codec_header[APE_CODEC_HEADER_SIZE];
  int32_t align_word;
  uint32_t current_frame;
  char tags[APE_TAG_FIELDS][APE_TAG_FIELD_SIZE];
  int32_t ms_per_frame;
  uint32_t id3_size;
  uint32_t next_frame;
  uint64_t samples;
  int32_t current_ms;
} ApeContext;

static uint16_t rd16(const uint8_t* p) { return (uint16_t)(p[0] | p[1] << 8); }
static uint32_t rd32(const uint8_t* p) {
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}
static void wr16(uint8_t* p, uint32_t v) {
  p[0] = (uint8_t)v;
  p[1] = (uint8_t)(v >> 8);
}
static void wr32(uint8_t* p, uint32_t v) {
  wr16(p, v);
  wr16(p + 2, v >> 16);
}

/* Samples to milliseconds without overflowing the product. */
static int32_t samples_to_ms(uint64_t samples, uint32_t rate) {
  uint64_t ms = (samples % rate) * 1000 / rate + (samples / rate) * 1000;
  return ms > 0x7FFFFFFF ? 0x7FFFFFFF : (int32_t)ms;
}

/* The last sample whose time, cut down to whole ms as frames report it, is
 * at or before ms: a seek to the time a frame reported lands on that frame.
 * Samples up to ceil((ms + 1) x rate / 1000) - 1, split at whole seconds so
 * that the product fits 64 bits; rate is not 0. */
static uint64_t last_sample_at_or_before(uint64_t ms, uint32_t rate) {
  uint64_t next = ms + 1;
  return next / 1000 * rate + (next % 1000 * rate + 999) / 1000 - 1;
}

static uint32_t old_blocks_per_frame(uint32_t version, uint32_t level) {
  if (version > 3949) return 294912;
  if (version >= 3900) return 73728;
  if (version >= 3800 && level >= 4000) return 73728;
  return 9216;
}

/* Reads the descriptor-generation fields; 0 or APE_PARSE_NOT_APE. Every
 * offset taken from the file is checked against the bytes in the buffer. */
static int parse_descriptor(const uint8_t* b, ApeHeader* h, uint32_t* table_offset) {
  const uint8_t* hd;
  if (h->buffer_bytes < DESCRIPTOR_MIN_BYTES) return APE_PARSE_NOT_APE;
  h->padding = rd16(b + 6);
  h->descriptor_length = rd32(b + 8);
  h->header_length = rd32(b + 12);
  h->seek_table_length = rd32(b + 16);
  h->wav_header_length = rd32(b + 20);
  h->frame_data_length = (uint64_t)rd32(b + 24) | (uint64_t)rd32(b + 28) << 32;
  h->terminating_length = rd32(b + 32);
  if (h->descriptor_length < DESCRIPTOR_MIN_BYTES || h->header_length < DESCRIPTOR_HEADER_BYTES ||
      h->descriptor_length > h->buffer_bytes - DESCRIPTOR_HEADER_BYTES)
    return APE_PARSE_NOT_APE;
  hd = b + h->descriptor_length;
  h->compression_level = rd16(hd);
  h->format_flags = rd16(hd + 2);
  h->blocks_per_frame = rd32(hd + 4);
  h->final_frame_blocks = rd32(hd + 8);
  h->total_frames = rd32(hd + 12);
  h->bits_per_sample = rd16(hd + 16);
  h->channels = rd16(hd + 18);
  h->sample_rate = rd32(hd + 20);
  *table_offset = h->descriptor_length + DESCRIPTOR_HEADER_BYTES;
  return 0;
}

static int parse_old(const uint8_t* b, ApeHeader* h, uint32_t* table_offset) {
  uint32_t entries;
  if (h->buffer_bytes < OLD_HEADER_BYTES + 8) return APE_PARSE_NOT_APE;
  h->padding = 0;
  h->descriptor_length = 0;
  h->compression_level = rd16(b + 6);
  h->format_flags = rd16(b + 8);
  h->channels = rd16(b + 10);
  h->sample_rate = rd32(b + 12);
  h->wav_header_length = rd32(b + 16);
  h->terminating_length = rd32(b + 20);
  h->total_frames = rd32(b + 24);
  h->final_frame_blocks = rd32(b + 28);
  h->header_length = OLD_HEADER_BYTES;
  entries = h->total_frames;
  if (h->format_flags & FLAG_PEAK_LEVEL) h->header_length += 4;
  if (h->format_flags & FLAG_SEEK_ELEMENTS) {
    entries = rd32(b + h->header_length);
    h->header_length += 4;
  }
  if (entries > 0x3FFFFFFF) return APE_PARSE_NOT_APE;
  h->seek_table_length = entries * 4;
  h->bits_per_sample = (h->format_flags & FLAG_8_BIT) ? 8 : (h->format_flags & FLAG_24_BIT) ? 24 : 16;
  h->blocks_per_frame = old_blocks_per_frame(h->version, h->compression_level);
  h->frame_data_length = 0;
  /* The stored WAV header sits between the header and the seek table unless
   * the flag says otherwise; either way it lies before the first frame. */
  if (h->wav_header_length > h->buffer_bytes) return APE_PARSE_NOT_APE;
  *table_offset = h->header_length;
  if (!(h->format_flags & FLAG_NO_WAV_HEADER)) *table_offset += h->wav_header_length;
  return 0;
}

int32_t ParseAPEHeader(const uint8_t* buffer, ApeHeader* h, uint32_t* data_start,
                       const ApeHostFunctions* host) {
  uint32_t table_offset = 0, entries, copied, i, end;
  uint64_t start;
  int r;
  if (!buffer || !h || !host) return APE_PARSE_NOT_APE;
  h->seek_table = 0;
  h->seek_table_frames = 0;
  if (h->buffer_bytes < 6 || host->compare(buffer, "MAC ", 4) != 0) return APE_PARSE_NOT_APE;
  h->version = rd16(buffer + 4);
  r = h->version >= DESCRIPTOR_VERSION ? parse_descriptor(buffer, h, &table_offset)
                                       : parse_old(buffer, h, &table_offset);
  if (r) return r;
  if (h->compression_level > MAX_COMPRESSION_LEVEL) return APE_PARSE_LEVEL;

  start = (uint64_t)h->descriptor_length + h->header_length + h->wav_header_length + h->seek_table_length;
  if (start > h->data_limit) return APE_PARSE_NOT_APE;
  h->data_start = (uint32_t)start;
  if (data_start) *data_start = h->data_start;

  /* Frame reading needs a seek table entry for every frame and the table
   * must lie within what was read. */
  entries = h->seek_table_length / 4;
  if (h->seek_table_length == 0 || entries < h->total_frames || table_offset > h->buffer_bytes ||
      h->seek_table_length > h->buffer_bytes - table_offset)
    return APE_PARSE_NOT_APE;

  h->seek_table = (uint32_t*)host->allocate(((size_t)h->total_frames + 1) * sizeof(uint32_t));
  if (!h->seek_table) return APE_PARSE_NO_MEMORY;
  copied = h->total_frames;
  for (i = 0; i < copied; ++i) h->seek_table[i] = rd32(buffer + table_offset + 4 * i);

  /* The end of the last frame: the frame data length where the header has
   * one, else everything up to the terminating data, within what the file
   * holds. */
  if (h->version >= DESCRIPTOR_VERSION) {
    uint64_t e = (uint64_t)h->data_start + h->frame_data_length;
    end = e > h->data_limit ? h->data_limit : (uint32_t)e;
  } else {
    end = h->data_limit;
    if (copied && h->terminating_length < end - h->seek_table[copied - 1]) end -= h->terminating_length;
  }
  h->seek_table[copied] = end;
  h->seek_table_frames = copied;

  /* Offsets must rise from the data start to the end: a frame never has a
   * negative length and never reaches past the file. */
  for (i = 0; i < copied; ++i) {
    uint32_t lower = h->data_start;
    if ((i == 0 && h->seek_table[0] < lower) || h->seek_table[i] >= h->seek_table[i + 1]) {
      host->release(h->seek_table);
      h->seek_table = 0;
      h->seek_table_frames = 0;
      return APE_PARSE_NOT_APE;
    }
  }
  return APE_PARSE_OK;
}

uint32_t APEGetBitrate(const ApeHeader* h, uint32_t file_size) {
  uint64_t audio_bytes, total_blocks;
  if (!h) return 0;
  if (h->version >= DESCRIPTOR_VERSION)
    audio_bytes = h->frame_data_length;
  else
    audio_bytes = file_size > h->data_start ? file_size - h->data_start : 0;
  total_blocks = h->total_frames >= 2
                     ? h->final_frame_blocks + (uint64_t)h->blocks_per_frame * (h->total_frames - 1)
                     : h->final_frame_blocks;
  if (total_blocks == 0) return 0;
  return (uint32_t)(audio_bytes * 8 * h->sample_rate / total_blocks);
}

/* Reads the tag into `tags`; `*tag_bytes` receives the tag's size. 0 tag
 * read, 1 none, 2 no memory for it. */
static int read_tag(char* tags, void* file, const ApeHostFunctions* host, uint32_t* tag_bytes) {
  uint8_t footer[24];
  uint32_t size, count, flags, consumed, items_bytes;
  int32_t file_size;
  uint8_t* block;
  *tag_bytes = 0;
  if (host->seek(file, 0, KVR_SEEK_END) != 0) return 1;
  file_size = host->tell(file);
  if (file_size < TAG_FOOTER_BYTES) return 1;
  if (host->seek(file, -TAG_FOOTER_BYTES, KVR_SEEK_END) != 0 || host->read(footer, 1, 24, file) != 24 ||
      memcmp(footer, APETAGINFO_PREAMPLE, 8) != 0)
    return 1;
  size = rd32(footer + 12);
  count = rd32(footer + 16);
  flags = rd32(footer + 20);
  /* The size counts the items and this footer; anything else is not a tag
   * that this file can hold. */
  if (size < TAG_FOOTER_BYTES || size > (uint32_t)file_size) return 1;
  /* The tag's own header, when it has one, lies before the items: the
   * frames end before it. */
  *tag_bytes = size;
  if ((flags & TAG_HAS_HEADER) && size <= (uint32_t)file_size - TAG_FOOTER_BYTES) *tag_bytes += TAG_FOOTER_BYTES;
  if (count == 0 || size == TAG_FOOTER_BYTES) return 0;
  if (host->seek(file, -(int32_t)size, KVR_SEEK_END) != 0) return 1;
  block = (uint8_t*)host->allocate(size);
  if (!block) return 2;
  items_bytes = size - TAG_FOOTER_BYTES;
  if (host->read(block, 1, items_bytes, file) != items_bytes) {
    host->release(block);
    return 1;
  }
  /* Walk the items; stop at the first one that does not fit in the block. */
  for (consumed = 0; count > 0 && consumed < items_bytes; --count) {
    const uint8_t* item = block + consumed;
    uint32_t left = items_bytes - consumed, value_len, key_len, field = APE_TAG_FIELDS;
    const uint8_t* end;
    if (left < 9) break;
    value_len = rd32(item);
    /* The key ends at a zero byte inside the block, or the item is broken. */
    for (key_len = 0; key_len < left - 8 && item[8 + key_len] != 0; ++key_len) {
    }
    if (key_len == left - 8) break;
    end = item + 8 + key_len;
    if (value_len > left - 8 - key_len - 1) break;
    if (key_len < 8) {
      /* A key shorter than the compared length cannot match (its zero byte
       * differs), so only keys at least that long are compared. */
      const char* key = (const char*)item + 8;
#define KEY_IS(name, n) (key_len >= (n) && memcmp(key, name, n) == 0)
      if (KEY_IS(APETAGINFO_ARTIST, 6)) field = APE_TAG_ARTIST;
      else if (KEY_IS(APETAGINFO_ALBUM, 5)) field = APE_TAG_ALBUM;
      else if (KEY_IS(APETAGINFO_TITLE, 5)) field = APE_TAG_TITLE;
      else if (KEY_IS(APETAGINFO_TRACK, 5)) field = APE_TAG_TRACK;
      else if (KEY_IS(APETAGINFO_GENRE, 5)) field = APE_TAG_GENRE;
      else if (KEY_IS(APETAGINFO_YEAR, 4)) field = APE_TAG_YEAR;
      else if (KEY_IS(APETAGINFO_COMMENT, 7)) field = APE_TAG_COMMENT;
#undef KEY_IS
    }
    if (field < APE_TAG_FIELDS) {
      uint32_t n = value_len > TAG_VALUE_MAX ? TAG_VALUE_MAX : value_len;
      char* dst = tags + field * APE_TAG_FIELD_SIZE;
      host->copy(dst, end + 1, n);
      host->fill(dst + n, 0, APE_TAG_FIELD_SIZE - n);
    }
    consumed += 8 + key_len + 1 + value_len;
  }
  host->release(block);
  return 0;
}

int32_t ParseAPETag(char* tags, void* file, const ApeHostFunctions* host) {
  uint32_t bytes;
  if (!tags || !file || !host) return 1;
  return read_tag(tags, file, host, &bytes) == 0 ? 0 : 1;
}

static void destroy(ApeContext* c) {
  const ApeHostFunctions* host = c->host;
  if (c->file) host->close(c->file);
  if (c->frame_buffer) host->release(c->frame_buffer);
  if (c->header.seek_table) host->release(c->header.seek_table);
  host->release(c);
}

static void build_codec_header(ApeContext* c) {
  const ApeHeader* h = &c->header;
  uint8_t* p = c->codec_header;
  wr16(p, h->version);
  wr16(p + 2, h->padding);
  wr16(p + 4, h->compression_level);
  wr16(p + 6, h->format_flags);
  wr16(p + 8, h->bits_per_sample);
  wr16(p + 10, 0);
  wr32(p + 12, h->final_frame_blocks);
  wr32(p + 16, h->blocks_per_frame);
  wr32(p + 20, h->total_frames);
}

static int32_t ape_open(void** slot, const ApeOpenRecord* rec, ApeStreamInfo* info) {
  const ApeHostFunctions* host = &rec->host;
  ApeContext* c;
  uint8_t id3[ID3_HEADER_BYTES];
  int32_t size;
  uint32_t tag_bytes = 0, got, after_id3;
  int tag, parsed;
  uint64_t duration;

  *slot = 0;
  c = (ApeContext*)host->allocate(sizeof(ApeContext));
  if (!c) return APE_ERR_NO_MEMORY;
  host->fill(c, 0, sizeof(ApeContext));
  c->host = host;

  c->file = host->open(rec->file_name, "rb");
  if (!c->file) {
    host->release(c);
    return APE_ERR_OTHER;
  }
  if (host->seek(c->file, 0, KVR_SEEK_END) != 0 || (size = host->tell(c->file)) < 0 ||
      host->seek(c->file, 0, KVR_SEEK_SET) != 0) {
    destroy(c);
    return APE_ERR_OTHER;
  }
  c->file_size = (uint32_t)size;

  tag = read_tag(&c->tags[0][0], c->file, host, &tag_bytes);
  if (tag == 2) {
    destroy(c);
    return APE_ERR_NO_MEMORY;
  }

  if (host->seek(c->file, 0, KVR_SEEK_SET) != 0) {
    destroy(c);
    return APE_ERR_OTHER;
  }
  if (host->read(id3, 1, ID3_HEADER_BYTES, c->file) == ID3_HEADER_BYTES && memcmp(id3, "ID3", 3) == 0)
    c->id3_size = ((uint32_t)id3[6] << 21 | (uint32_t)id3[7] << 14 | (uint32_t)id3[8] << 7 | id3[9]) +
                  ID3_HEADER_BYTES;
  if (c->id3_size > c->file_size || host->seek(c->file, (int32_t)c->id3_size, KVR_SEEK_SET) != 0) {
    destroy(c);
    return APE_ERR_OTHER;
  }

  c->frame_buffer = (uint8_t*)host->allocate(APE_FRAME_BUFFER_SIZE);
  if (!c->frame_buffer) {
    destroy(c);
    return APE_ERR_NO_MEMORY;
  }
  c->frame_capacity = APE_FRAME_BUFFER_SIZE;
  host->fill(c->frame_buffer, 0, APE_FRAME_BUFFER_SIZE);
  got = (uint32_t)host->read(c->frame_buffer, 1, APE_FRAME_BUFFER_SIZE, c->file);

  /* Frames end before an APE tag at the end of the file. */
  after_id3 = c->file_size - c->id3_size;
  c->header.buffer_bytes = got > APE_FRAME_BUFFER_SIZE ? APE_FRAME_BUFFER_SIZE : got;
  c->header.data_limit = tag == 0 && tag_bytes <= after_id3 ? after_id3 - tag_bytes : after_id3;
  parsed = ParseAPEHeader(c->frame_buffer, &c->header, 0, host);
  if (parsed != APE_PARSE_OK) {
    destroy(c);
    return -parsed;
  }
  if (host->seek(c->file, (int32_t)(c->id3_size + c->header.data_start), KVR_SEEK_SET) != 0) {
    destroy(c);
    return APE_ERR_OTHER;
  }

  c->bit_rate = APEGetBitrate(&c->header, c->file_size);
  if (c->bit_rate < 8) {
    c->duration_ms = -1000;
  } else {
    duration = (uint64_t)(c->file_size / (c->bit_rate / 8)) * 1000;
    c->duration_ms = duration > 0x7FFFFFFF ? 0x7FFFFFFF : (int32_t)duration;
  }
  c->ms_per_frame = c->header.seek_table_frames ? c->duration_ms / (int32_t)c->header.seek_table_frames : 0;
  build_codec_header(c);

  if (info) {
    info->file_size = c->file_size;
    info->duration_ms = c->duration_ms;
    info->total_frames = c->header.total_frames;
    info->sample_rate = c->header.sample_rate;
    info->bits_per_sample = c->header.bits_per_sample;
    info->channels = c->header.channels;
    info->codec_header = c->codec_header;
    info->codec_header_size = APE_CODEC_HEADER_SIZE;
    info->max_frame_size = APE_MAX_FRAME_SIZE;
    info->bit_rate = c->bit_rate;
    info->tags = tag == 0 ? &c->tags[0][0] : 0;
  }
  c->next_frame = 0;
  c->samples = 0;
  c->current_ms = 0;
  c->align_word = 3;
  *slot = c;
  return APE_OK;
}

static int32_t ape_next_frame(ApeContext* c, ApeFrameOutput* out) {
  const ApeHostFunctions* host = c->host;
  const ApeHeader* h = &c->header;
  uint32_t n = c->next_frame, offset, pos, len, needed, got, end;
  if (n >= h->total_frames) return APE_ERR_END;
  offset = h->seek_table[n] - h->data_start;
  pos = c->id3_size + h->data_start + (offset & ~3u);
  len = (h->seek_table[n + 1] - h->seek_table[n] + 4) & ~3u;
  /* That length can stop up to three bytes short of the frame's end when
   * the frame starts late in its word; always cover the whole frame,
   * rounded up to a whole word. */
  needed = ((offset & 3u) + (h->seek_table[n + 1] - h->seek_table[n]) + 3) & ~3u;
  if (len < needed) len = needed;
  /* Never ask for more than the file holds. */
  end = c->file_size;
  if (pos > end) len = 0;
  else if (len > end - pos) len = end - pos;
  if (len > c->frame_capacity - 16) {
    uint8_t* grown = (uint8_t*)host->resize(c->frame_buffer, (size_t)len + 16);
    if (!grown) return APE_ERR_NO_MEMORY;
    c->frame_buffer = grown;
    c->frame_capacity = len + 16;
  }
  if (host->seek(c->file, (int32_t)pos, KVR_SEEK_SET) != 0) return APE_ERR_OTHER;
  c->align_word = 3 - (int32_t)(offset % 4);
  host->copy(c->frame_buffer, "KEES", 4);
  wr32(c->frame_buffer + 4, n);
  wr32(c->frame_buffer + 8, (uint32_t)c->align_word);
  got = len ? (uint32_t)host->read(c->frame_buffer + APE_FRAME_HEADER_SIZE, 1, len, c->file) : 0;
  if (got > len) got = len;
  if (out) {
    out->data = c->frame_buffer;
    out->size = got + APE_FRAME_HEADER_SIZE;
  }
  if (h->sample_rate) c->current_ms = samples_to_ms(c->samples, h->sample_rate);
  if (out) out->time_ms = c->current_ms;
  c->samples += n + 1 == h->total_frames ? h->final_frame_blocks : h->blocks_per_frame;
  c->current_frame = n;
  c->next_frame = n + 1;
  return APE_OK;
}

static int32_t ape_seek(ApeContext* c, const ApeSeekRequest* req, ApeFrameOutput* out) {
  const ApeHeader* h = &c->header;
  int64_t target;
  uint64_t frame;
  if (!req) return APE_ERR_OTHER;
  target = req->target_ms;
  if (!req->absolute) target += c->current_ms;
  if (target < 1) target = 1;
  if (h->blocks_per_frame == 0) return APE_ERR_END;
  frame = h->sample_rate ? last_sample_at_or_before((uint64_t)target, h->sample_rate) / h->blocks_per_frame : 0;
  if (frame >= h->seek_table_frames) return APE_ERR_END;
  c->samples = frame * h->blocks_per_frame;
  if (h->sample_rate) c->current_ms = samples_to_ms(c->samples, h->sample_rate);
  if (out) out->time_ms = c->current_ms;
  c->next_frame = (uint32_t)frame;
  return APE_OK;
}

int32_t KVR_APE_DMX(int32_t op, void* handle_slot, void* in, void* out) {
  void** slot = (void**)handle_slot;
  ApeContext* c;
  if (op == APE_OP_OPEN) {
    if (!slot || !in) return APE_ERR_NO_MEMORY;
    return ape_open(slot, (const ApeOpenRecord*)in, (ApeStreamInfo*)out);
  }
  if (op != APE_OP_NEXT_FRAME && op != APE_OP_CLOSE && op != APE_OP_SEEK) return APE_ERR_OTHER;
  if (!slot || !*slot) return APE_ERR_NO_HANDLE;
  c = (ApeContext*)*slot;
  switch (op) {
    case APE_OP_NEXT_FRAME: return ape_next_frame(c, (ApeFrameOutput*)out);
    case APE_OP_SEEK: return ape_seek(c, (const ApeSeekRequest*)in, (ApeFrameOutput*)out);
    default:
      destroy(c);
      *slot = 0;
      return APE_OK;
  }
}

KVR_DEFINE_FUNCTION_LIST(KVR_APE_DMX);
