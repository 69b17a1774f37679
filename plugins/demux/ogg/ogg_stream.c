/* Stream discovery at open: the stream count, the last granule positions, the
 * codec identification headers, codec private data, durations and bit rates,
 * and the stream information handed to the host. */
#include <string.h>

#include "ogg_internal.h"

/* Bounded readers: bytes past the end of what the page holds read as 0. */
static uint32_t u8at(const uint8_t* p, uint32_t size, uint32_t off) { return off < size ? p[off] : 0; }
static uint32_t be_n(const uint8_t* p, uint32_t size, uint32_t off, int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; ++i) v = v << 8 | u8at(p, size, off + (uint32_t)i);
  return v;
}
static uint32_t le32(const uint8_t* p, uint32_t size, uint32_t off) {
  return u8at(p, size, off) | u8at(p, size, off + 1) << 8 | u8at(p, size, off + 2) << 16 |
         u8at(p, size, off + 3) << 24;
}
static uint64_t le64(const uint8_t* p, uint32_t size, uint32_t off) {
  return (uint64_t)le32(p, size, off) | (uint64_t)le32(p, size, off + 4) << 32;
}
static int has_text(const uint8_t* p, uint32_t size, uint32_t off, const char* text) {
  size_t n = strlen(text);
  return size >= off + n && memcmp(p + off, text, n) == 0;
}

static int check_sn(uint32_t serial, uint32_t* list, int32_t count) {
  for (int32_t i = 0; i < count; ++i)
    if (list[i] == serial) return 0;
  list[count] = serial;
  return 1;
}

static int32_t serial_index(const OggDmxContext* ctx, uint32_t serial, int32_t count) {
  for (int32_t i = 0; i < count; ++i)
    if (ctx->serials[i] == serial) return i;
  return -1;
}

/* Serial numbers of the first pages, from the file start. */
static int32_t ogg_how_many_stream(OggDmxContext* ctx, OggInputReader* reader, int32_t* count) {
  int32_t pages = 0;
  *count = 0;
  while (pages < OGG_COUNT_PAGES && *count < OGG_MAX_STREAMS) {
    uint8_t header[27];
    if (ogg_stream_read(header, 27, reader) != 27) break;
    OggPageRecord page;
    int32_t r = ogg_page_header_parse(&page, header, reader, 0);
    if (r == OGG_ERR_NO_CAPTURE) {
      ogg_stream_seek(reader, -26);
      continue;
    }
    if (r != 0) break;
    pages++;
    if (check_sn(page.serial, ctx->serials, *count)) (*count)++;
  }
  ogg_streams_reset(reader);
  return *count > 0 ? 0 : -1;
}

/* The last granule position of every listed stream, from pages near the end
 * of the file. Blocks are read backwards until every stream has one (or the
 * file start, or a bounded stretch, is reached). */
static void find_last_granules(OggDmxContext* ctx, void* file, int64_t size, int32_t count) {
  uint8_t block[OGG_END_BLOCK];
  int found[OGG_MAX_STREAMS] = {0};
  int32_t missing = count;
  int64_t end = size;
  for (int blocks = 0; end > 0 && missing > 0 && blocks < 256; ++blocks) {
    int64_t start = end > OGG_END_BLOCK ? end - OGG_END_BLOCK : 0;
    int32_t len = (int32_t)(end - start);
    if (ogg_dmx_pFseek64 ? ogg_dmx_pFseek64(file, start, KVR_SEEK_SET) != 0
                         : ogg_dmx_pFseek(file, (int32_t)start, KVR_SEEK_SET) != 0)
      return;
    size_t n = ogg_dmx_pFread(block, 1, (size_t)len, file);
    if (n > (size_t)len) return;
    len = (int32_t)n;
    int64_t first = 0;
    int done[OGG_MAX_STREAMS] = {0};
    if (findNextSync(block, &first, len) == 0) {
      for (int32_t i = (int32_t)first; len - i > 18;) {
        if (block[i] == 'O' && block[i + 1] == 'g' && block[i + 2] == 'g' && block[i + 3] == 'S') {
          int64_t g = (int64_t)le64(block, (uint32_t)len, (uint32_t)i + 6);
          uint32_t serial = le32(block, (uint32_t)len, (uint32_t)i + 14);
          int32_t k = serial_index(ctx, serial, count);
          if (g != 0 && g != -1 && k >= 0 && !found[k]) {
            ctx->lastGranules[k] = g;
            done[k] = 1;
          }
          i += 19;
        } else {
          i++;
        }
      }
    }
    for (int32_t k = 0; k < count; ++k)
      if (done[k]) {
        found[k] = 1;
        missing--;
      }
    if (start == 0) break;
    /* Overlap so that a header across the block border is seen whole. */
    end = start + 27;
  }
}

int64_t check_stream_num(OggDmxContext* ctx, const char* fileName) {
  OggInputReader* reader = &ctx->readers[0];
  reader->file = ogg_dmx_pFopen ? ogg_dmx_pFopen(fileName, "rb") : NULL;
  if (!reader->file) return OGG_ERR_OPEN_FILE;
  int64_t size = OGG_ERR_ARGUMENT;
  reader->cache = (OggCache*)ogg_malloc(sizeof(OggCache));
  if (reader->cache) {
    memset(reader->cache, 0, sizeof(OggCache));
    size = ogg_file_size(reader->file);
    if (size > 0 && size < (int64_t)reader->cacheSize) reader->cacheSize = (uint32_t)size;
    reader->cache->base = size > 0 ? (uint8_t*)ogg_malloc(reader->cacheSize) : NULL;
    reader->cache->cursor = reader->cache->base;
    int32_t count = 0;
    if (size > 0 && !reader->cache->base) {
      size = OGG_ERR_ARGUMENT;
    } else if (size <= 0 || ogg_how_many_stream(ctx, reader, &count) != 0) {
      size = 0;
    } else {
      ctx->streamCount = count;
      find_last_granules(ctx, reader->file, size, count);
    }
  }
  ogg_reader_close(reader);
  reader->cacheSize = ctx->cacheSize;
  ctx->seekable = 1;
  return size;
}

/* --- identification headers ------------------------------------------------- */

static void get_video_info(const uint8_t* h, uint32_t n, OggVideoInfo* v, int64_t lastGranule) {
  v->codecId = le32(h, n, 9);
  v->frameDuration = (int64_t)le64(h, n, 17);
  v->samplesPerUnit = (int64_t)le64(h, n, 25);
  v->width = le32(h, n, 45);
  v->height = le32(h, n, 49);
  v->frameRate = v->frameDuration ? ogg_u32((double)v->samplesPerUnit * 10000000.0 /
                                              (double)v->frameDuration * 1000.0)
                                   : 0;
  v->durationMs = (uint32_t)((uint64_t)lastGranule * (uint64_t)v->frameDuration / 10000u);
}

static void get_theora_info(const uint8_t* h, uint32_t n, OggVideoInfo* v, int64_t lastGranule) {
  v->codecId = OGG_CODEC_THEORA;
  v->width = be_n(h, n, 14, 3);
  v->height = be_n(h, n, 17, 3);
  uint32_t num = be_n(h, n, 22, 4);
  uint32_t den = be_n(h, n, 26, 4);
  if (den == 0) return;
  v->frameRate = (uint32_t)((uint64_t)num * 1000u / den);
  v->kfShift = ((u8at(h, n, 40) << 3) | (u8at(h, n, 41) >> 5)) & 0x1F;
  v->kfMask = (1u << v->kfShift) - 1u;
  v->bitrate = be_n(h, n, 37, 3);
  v->theoraVersion = u8at(h, n, 7) << 16 | u8at(h, n, 8) << 8 | u8at(h, n, 9);
  if (num == 0) return;
  v->rateNum = num;
  v->rateDen = den;
  v->frameDuration = (int64_t)((uint64_t)den * 10000000u / num);
  /* The last granule found is never -1 (pages without one are passed over). */
  v->durationMs = (uint32_t)ogg_frame_ms(ogg_theora_frame(v, lastGranule), num, den);
}

static void get_vorbis_info(const uint8_t* h, uint32_t n, OggAudioInfo* a, int64_t lastGranule) {
  a->codecId = OGG_CODEC_VORBIS;
  a->version = le32(h, n, 7);
  a->channels = u8at(h, n, 11);
  a->sampleRate = le32(h, n, 12);
  a->maxBitrate = le32(h, n, 16);
  a->nominalBitrate = le32(h, n, 20);
  a->minBitrate = le32(h, n, 24);
  a->vbr = a->nominalBitrate != a->minBitrate;
  a->bitsPerSample = 16;
  a->durationMs = a->sampleRate ? (uint32_t)((uint64_t)lastGranule * 1000u / a->sampleRate) : 0;
  a->blockSize0 = 1u << (u8at(h, n, 28) & 0xF);
  a->blockSize1 = 1u << (u8at(h, n, 28) >> 4);
}

KVR_EXPORT uint32_t ogg_get_audiotype(const uint8_t* s) {
  if (!s) return 0;
  if (s[0] == '5' && s[1] == '5') return 0x0055;
  if (memcmp(s, "0055", 4) == 0) return 0x0055;
  if (memcmp(s, "fLaC", 4) == 0) return 0xF1AC;
  if (memcmp(s, "2000", 4) == 0) return 0x2000;
  if (memcmp(s, "161", 3) == 0) return 0x0161;
  return (uint32_t)s[0] | (uint32_t)s[1] << 8 | (uint32_t)s[2] << 16 | (uint32_t)s[3] << 24;
}

static void get_audio_info(const uint8_t* h, uint32_t n, OggAudioInfo* a, int64_t lastGranule, int flac) {
  if (flac) {
    a->codecId = OGG_CODEC_FLAC;
    uint32_t minBlock = be_n(h, n, 17, 2), maxBlock = be_n(h, n, 19, 2);
    uint32_t minFrame = be_n(h, n, 21, 3), maxFrame = be_n(h, n, 24, 3);
    a->sampleRate = u8at(h, n, 27) << 12 | u8at(h, n, 28) << 4 | u8at(h, n, 29) >> 4;
    a->channels = ((u8at(h, n, 29) >> 1) & 7) + 1;
    a->bitsPerSample = ((u8at(h, n, 29) & 1) << 4 | u8at(h, n, 30) >> 4) + 1;
    /* Block sizes of 0 (unknown) give no bit rate rather than a division. */
    a->minBitrate = maxBlock ? minFrame * a->sampleRate / maxBlock * 8 : 0;
    a->maxBitrate = minBlock ? maxFrame * a->sampleRate / minBlock * 8 : 0;
    a->vbr = a->minBitrate != a->maxBitrate;
  } else {
    uint8_t subtype[4] = {(uint8_t)u8at(h, n, 9), (uint8_t)u8at(h, n, 10), (uint8_t)u8at(h, n, 11),
                          (uint8_t)u8at(h, n, 12)};
    a->codecId = ogg_get_audiotype(subtype);
    a->bitsPerSample = 16;
    a->sampleRate = (uint32_t)le64(h, n, 25);
    a->vbr = 0;
    a->channels = u8at(h, n, 45);
    uint32_t rate = le32(h, n, 49) * 8;
    a->minBitrate = a->nominalBitrate = a->maxBitrate = rate;
  }
  a->durationMs = a->sampleRate ? (uint32_t)((uint64_t)lastGranule * 1000u / a->sampleRate) : 0;
}

/* FLAC private data: the first page's data, then whole pages of the stream
 * until one completes a packet. */
static int32_t collect_flac(OggStreamEntry* st, OggInputReader* reader, const OggPageRecord* first) {
  uint32_t total = first->dataSize;
  memcpy(st->audio.priv, first->data, total);
  int complete = first->packetsEnding > 0;
  while (!complete) {
    OggPageRecord page;
    if (ogg_page_parsing(&page, reader, 1) != 0) break;
    if (total + page.dataSize > OGG_PRIVATE_BYTES) {
      ogg_page_release(&page);
      st->audio.privLength = total;
      return -1;
    }
    if (page.dataSize && page.data) memcpy(st->audio.priv + total, page.data, page.dataSize);
    total += page.dataSize;
    complete = page.packetsEnding > 0;
    ogg_page_release(&page);
  }
  st->audio.privLength = total;
  return 0;
}

int32_t get_allstream_info(OggDmxContext* ctx, const char* fileName) {
  OggInputReader* reader = &ctx->readers[0];
  int32_t r = ogg_reader_open(reader, fileName, reader->cacheSize);
  if (r != 0) {
    ogg_reader_close(reader);
    return r;
  }
  int32_t result = 0;
  for (int32_t i = 0; i < ctx->streamCount; ++i) {
    OggStreamEntry* st = &ctx->streams[i];
    st->serial = ctx->serials[i];
    ogg_streams_reset(reader);
    reader->serialFilter = (int32_t)ctx->serials[i];
    OggPageRecord page;
    if (ogg_page_parsing(&page, reader, 1) != 0) break;
    if (!page.data || page.dataSize < 1) {
      ogg_page_release(&page);
      break;
    }
    const uint8_t* h = page.data;
    uint32_t n = page.dataSize;
    int64_t last = ctx->lastGranules[i];
    int stop = 0;
    if (has_text(h, n, 1, "video")) {
      ctx->videoCount++;
      get_video_info(h, n, &st->video, last);
      st->video.serial = st->serial;
      st->codecId = st->video.codecId;
      st->kind = OGG_KIND_VIDEO;
      st->ordinal = ctx->videoCount;
    } else if (has_text(h, n, 1, "vorbis")) {
      ctx->audioCount++;
      st->audio.priv = (uint8_t*)ogg_malloc(OGG_PRIVATE_BYTES);
      if (!st->audio.priv) result = OGG_ERR_ARGUMENT;
      get_vorbis_info(h, n, &st->audio, last);
      st->audio.serial = st->serial;
      st->codecId = OGG_CODEC_VORBIS;
      st->headersLeft = 3;
      st->kind = OGG_KIND_AUDIO;
      st->ordinal = ctx->audioCount;
    } else if (has_text(h, n, 1, "theora")) {
      ctx->videoCount++;
      st->video.priv = (uint8_t*)ogg_malloc(OGG_PRIVATE_BYTES);
      if (!st->video.priv) {
        result = OGG_ERR_ARGUMENT;
      } else {
        st->video.priv[0] = (uint8_t)(n >> 8);
        st->video.priv[1] = (uint8_t)n;
        memcpy(st->video.priv + 2, h, n);
        st->video.privLength = n + 2;
      }
      get_theora_info(h, n, &st->video, last);
      st->video.serial = st->serial;
      st->codecId = OGG_CODEC_THEORA;
      st->kind = OGG_KIND_VIDEO;
      st->ordinal = ctx->videoCount;
    } else if (has_text(h, n, 1, "audio")) {
      ctx->audioCount++;
      get_audio_info(h, n, &st->audio, last, 0);
      st->audio.serial = st->serial;
      st->codecId = st->audio.codecId;
      st->kind = OGG_KIND_AUDIO;
      st->ordinal = ctx->audioCount;
    } else if (has_text(h, n, 1, "FLAC")) {
      ctx->audioCount++;
      st->audio.priv = (uint8_t*)ogg_malloc(OGG_PRIVATE_BYTES);
      get_audio_info(h, n, &st->audio, last, 1);
      st->audio.serial = st->serial;
      st->codecId = OGG_CODEC_FLAC;
      st->kind = OGG_KIND_AUDIO;
      st->ordinal = ctx->audioCount;
      if (st->audio.durationMs)
        st->audio.nominalBitrate = ogg_u32((double)ctx->fileSize * 8000.0 / st->audio.durationMs);
      if (!st->audio.priv)
        result = OGG_ERR_ARGUMENT;
      else if (collect_flac(st, reader, &page) != 0)
        stop = 1;
    }
    ogg_page_release(&page);
    if (stop || result != 0) break;
  }
  ogg_reader_close(reader);
  reader->serialFilter = 0;
  return result;
}

int32_t get_theora_extradata(OggDmxContext* ctx) {
  OggStreamEntry* st = NULL;
  for (int32_t i = 0; i < ctx->streamCount && !st; ++i)
    if (ctx->streams[i].codecId == OGG_CODEC_THEORA && ctx->streams[i].queue) st = &ctx->streams[i];
  if (!st || !ctx->scratch) return 0;
  OggPacketRecord pkt;
  memset(&pkt, 0, sizeof(pkt));
  pkt.buffer = ctx->scratch;
  pkt.size = OGG_SCRATCH_BYTES;
  int32_t r = ogg_packet_checkout(&pkt, ctx, st->serial);
  if (r != 0) return r;
  if (pkt.size < 7 || memcmp(pkt.buffer + 1, "theora", 6) != 0) return 0;
  uint8_t* priv = st->video.priv;
  if (!priv) return OGG_ERR_ARGUMENT;
  uint32_t total = 0;
  for (int i = 0; i < 3; ++i) {
    if (i > 0) {
      pkt.buffer = ctx->scratch;
      pkt.size = OGG_SCRATCH_BYTES;
      r = ogg_packet_checkout(&pkt, ctx, st->serial);
      if (r != 0) return r;
    }
    if (total + 2 + pkt.size > OGG_PRIVATE_BYTES) return OGG_ERR_HEADERS;
    priv[total] = (uint8_t)(pkt.size >> 8);
    priv[total + 1] = (uint8_t)pkt.size;
    memcpy(priv + total + 2, pkt.buffer, pkt.size);
    total += 2 + pkt.size;
  }
  st->video.privLength = total;
  if (ctx->videoIndex >= 0 && &ctx->streams[ctx->videoIndex] == st) {
    ctx->video.priv = priv;
    ctx->video.privLength = total;
  }
  return 0;
}

void get_common_info(OggDmxContext* ctx) {
  ctx->durationMs = ctx->audio.durationMs ? ctx->audio.durationMs : ctx->video.durationMs;
  ctx->bitrate = ctx->durationMs ? ogg_u32((double)ctx->fileSize * 8000.0 / ctx->durationMs) : 0;
  if (!(ctx->video.codecId == OGG_CODEC_THEORA && ctx->video.bitrate != 0)) {
    int64_t v = (int64_t)ctx->bitrate - (int64_t)ctx->audio.nominalBitrate;
    ctx->video.bitrate = v > 0 ? (uint32_t)v : 0;
  }
  if (ctx->videoIndex >= 0) ctx->streams[ctx->videoIndex].video.bitrate = ctx->video.bitrate;
}

void ogg_fill_audio_entry(const OggDmxContext* ctx, const OggAudioInfo* a, OggAudioEntry* e) {
  e->audioCount = (uint32_t)ctx->audioCount;
  e->sampleRate = a->sampleRate;
  e->bitsPerSample = a->bitsPerSample;
  e->channels = a->channels;
  e->codecId = a->codecId;
  e->priv = a->priv;
  e->privLength = a->privLength;
  e->bitrate = a->nominalBitrate;
  e->maxBitrate = a->maxBitrate;
  e->minBitrate = a->minBitrate;
  e->vbr = a->vbr;
}

int32_t set_dmx_info(OggDmxContext* ctx, OggStreamInfo* info) {
  info->durationMs = ctx->durationMs;
  info->fileSize = ctx->fileSize;
  info->bitrate = ctx->bitrate;
  info->seekable = 1;
  const OggVideoInfo* v = &ctx->video;
  info->videoSerial = ctx->selectedVideoSerial;
  if (ctx->videoIndex >= 0) {
    info->width = v->width;
    info->height = v->height;
    info->frameRate = v->frameRate;
    info->videoCodec = v->codecId;
    info->videoPriv = v->priv;
    info->videoPrivLength = v->privLength;
    info->videoBitrate = v->bitrate;
  }
  const OggAudioInfo* a = &ctx->audio;
  info->audioCount = (uint32_t)ctx->audioCount;
  info->audioSerial = ctx->selectedAudioSerial;
  if (ctx->audioIndex >= 0) {
    info->sampleRate = a->sampleRate;
    info->bitsPerSample = a->bitsPerSample;
    info->channels = a->channels;
    info->audioCodec = a->codecId;
    info->audioPriv = a->priv;
    info->audioPrivLength = a->privLength;
    info->audioBitrate = a->nominalBitrate;
    info->audioMaxBitrate = a->maxBitrate;
    info->audioMinBitrate = a->minBitrate;
    info->audioVbr = a->vbr;
  }
  if (ctx->streamCount == 0) return 0;
  if (ctx->audioCount) {
    ctx->audioEntries = (OggAudioEntry*)ogg_malloc(sizeof(OggAudioEntry) * (size_t)ctx->audioCount);
    if (!ctx->audioEntries) return OGG_ERR_ARGUMENT;
    memset(ctx->audioEntries, 0, sizeof(OggAudioEntry) * (size_t)ctx->audioCount);
  }
  if (ctx->videoCount) {
    ctx->videoEntries = (OggVideoEntry*)ogg_malloc(sizeof(OggVideoEntry) * (size_t)ctx->videoCount);
    if (!ctx->videoEntries) return OGG_ERR_ARGUMENT;
    memset(ctx->videoEntries, 0, sizeof(OggVideoEntry) * (size_t)ctx->videoCount);
  }
  int32_t na = 0, nv = 0;
  for (int32_t i = 0; i < ctx->streamCount; ++i) {
    const OggStreamEntry* st = &ctx->streams[i];
    if (st->kind == OGG_KIND_AUDIO && na < ctx->audioCount) {
      OggAudioEntry* e = &ctx->audioEntries[na++];
      ogg_fill_audio_entry(ctx, &st->audio, e);
      e->serial = st->serial;
    } else if (st->kind == OGG_KIND_VIDEO && nv < ctx->videoCount) {
      OggVideoEntry* e = &ctx->videoEntries[nv++];
      e->width = st->video.width;
      e->height = st->video.height;
      e->frameRate = st->video.frameRate;
      e->codecId = st->video.codecId;
      e->priv = st->video.priv;
      e->privLength = st->video.privLength;
      e->bitrate = st->video.bitrate;
      e->serial = st->serial;
    }
  }
  info->videoEntryCount = (uint32_t)ctx->videoCount;
  info->videoEntries = ctx->videoEntries;
  info->audioEntryCount = (uint32_t)ctx->audioCount;
  info->audioEntries = ctx->audioEntries;
  return 0;
}
