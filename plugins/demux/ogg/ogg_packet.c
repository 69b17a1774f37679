/* Packet reassembly across pages, granule values per codec, the next-packet
 * op and the millisecond time stamps. */
#include <string.h>

#include "ogg_internal.h"

/* OGM video subtypes that count one frame per packet. */
static const char kFramePerPacket[][5] = {"DIV4", "div4", "DIVX", "divx", "XVID", "xvid", "MP43", "mp43", "MP4V",
                                          "mp4v", "AVC1", "avc1", "H264", "h264", "X264", "x264", "VSSH", "vssh"};
static const char kH264Family[][5] = {"AVC1", "avc1", "H264", "X264", "h264", "x264", "VSSH", "vssh"};

static uint32_t le_word(const char* s) {
  return (uint32_t)(uint8_t)s[0] | (uint32_t)(uint8_t)s[1] << 8 | (uint32_t)(uint8_t)s[2] << 16 |
         (uint32_t)(uint8_t)s[3] << 24;
}

static int in_list(uint32_t id, const char (*list)[5], size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (le_word(list[i]) == id) return 1;
  return 0;
}

KVR_EXPORT int32_t IsH264Family(uint32_t codecId) {
  return in_list(codecId, kH264Family, sizeof(kH264Family) / sizeof(kH264Family[0]));
}

KVR_EXPORT int32_t ogg_packet_checkout_any(void) { return 0; }

OggStreamEntry* ogg_find_stream(OggDmxContext* ctx, uint32_t serial) {
  for (int32_t i = 0; i < ctx->streamCount; ++i)
    if (ctx->streams[i].serial == serial && ctx->streams[i].queue) return &ctx->streams[i];
  return NULL;
}

/* Moves the next queued page into the current one; the current one becomes
 * the previous one. */
static int32_t advance_page(OggDmxContext* ctx, OggStreamEntry* st) {
  if (ogg_queue_count(st->queue) == 0) {
    int32_t r = ogg_page_enqueue(ctx, 1);
    if (r != 0) return r;
  }
  OggPageRecord next;
  OggQueueItem item = {&next, sizeof(next), {0}};
  if (KVR_OGG_QUE(OGG_QUE_TAKE, st->queue, &item, NULL) != 0) {
    ogg_stream_pages_release(st);
    return OGG_ERR_END;
  }
  if (st->prev.data == st->cur.data) st->prev.data = NULL;
  /* A page on which no packet ends has granule -1; the packets ending on the
   * next page count from the last granule known before it. */
  int64_t known = st->prev.granule;
  ogg_page_release(&st->prev);
  st->prev = st->cur;
  if (st->prev.granule == -1) st->prev.granule = known;
  st->cur = next;
  if (st->dropCounter) st->dropCounter--;
  st->granuleAcc = 0;
  st->endedOnPage = 0;
  return 0;
}

typedef struct PacketShape {
  uint32_t length;
  uint32_t pages;    /* page changes before the packet ends */
  int firstByte;     /* -1 when the first segment is empty */
} PacketShape;

/* Measures the packet at the cursor without moving anything, topping up the
 * stream's queue as far as the packet reaches. OGG_ERR_END when the data ends
 * inside it. Stops counting once `limit` is passed. */
static int32_t measure_packet(OggDmxContext* ctx, OggStreamEntry* st, uint32_t limit, PacketShape* shape) {
  int32_t k = (int32_t)(st - ctx->streams);
  const OggPageRecord* page = &st->cur;
  uint32_t cursor = page->cursor;
  uint32_t index = 0;
  shape->length = 0;
  shape->pages = 0;
  shape->firstByte = -1;
  int started = 0;
  for (;;) {
    while (cursor < page->segmentCount) {
      uint32_t lv = page->lacing[cursor];
      if (!started) {
        started = 1;
        shape->firstByte = lv && page->data ? page->data[page->segmentStart[cursor]] : -1;
      }
      shape->length += lv;
      cursor++;
      if (lv != 255) return 0;
      if (shape->length > limit) return 0;
    }
    OggPageRecord* next = NULL;
    while (ogg_queue_peek_at(st->queue, index, &next) != 0) {
      int32_t r = ogg_enqueue_one(ctx, k, 1);
      if (r != 0) return r;
    }
    index++;
    shape->pages++;
    page = next;
    cursor = 0;
  }
}

static int is_vorbis_header_byte(int b) { return b == 1 || b == 3 || b == 5; }

KVR_EXPORT int32_t ogg_packet_checkout(OggPacketRecord* packet, OggDmxContext* ctx, uint32_t serial) {
  OggStreamEntry* st = ogg_find_stream(ctx, serial);
  if (!st) return OGG_ERR_NO_STREAM;
  uint32_t capacity = packet->size;
  for (;;) {
    if (ogg_queue_count(st->queue) == 0) {
      int32_t r = ogg_page_enqueue(ctx, 1);
      if (r != 0) return r;
    }
    PacketShape shape;
    int32_t r = measure_packet(ctx, st, capacity, &shape);
    if (r == OGG_ERR_END) {
      /* The data ends inside the packet (or before it): take what is left
       * so that the stream reports its end. */
      while (advance_page(ctx, st) == 0) st->cur.cursor = st->cur.segmentCount;
      return OGG_ERR_END;
    }
    if (r != 0) return r;
    int32_t drop = st->dropCounter;
    for (uint32_t i = 0; i < shape.pages && drop; ++i) drop--;
    int header = st->headersLeft > 0 && is_vorbis_header_byte(shape.firstByte);
    int dropped = drop != 0 && !header;
    /* Too big: nothing moves, so the next read starts at this packet again. */
    if (!dropped && shape.length > capacity) return OGG_ERR_TOO_BIG;

    uint32_t length = 0;
    int continuation = 0;
    for (;;) {
      if (st->cur.cursor >= st->cur.segmentCount) {
        r = advance_page(ctx, st);
        if (r != 0) return r;
        continue;
      }
      uint32_t seg = st->cur.cursor++;
      uint32_t lv = st->cur.lacing[seg];
      const uint8_t* src = st->cur.data ? st->cur.data + st->cur.segmentStart[seg] : NULL;
      if (!dropped && lv && src) memcpy(packet->buffer + length, src, lv);
      length += lv;
      if (continuation == 0 && lv && src && !(lv != 255 && header)) {
        if (in_list(st->codecId, kFramePerPacket, sizeof(kFramePerPacket) / sizeof(kFramePerPacket[0])))
          st->granuleAcc += 1;
        else if (st->codecId == OGG_CODEC_VORBIS)
          st->granuleAcc += (src[0] & 2) ? st->audio.blockSize1 / 2 : st->audio.blockSize0 / 2;
      }
      if (lv == 255) {
        continuation++;
        continue;
      }
      break;
    }
    st->endedOnPage++;
    if (dropped) continue;
    packet->size = length;
    packet->serial = st->cur.serial;
    int64_t base = st->prev.granule;
    if (base == -1 && st->codecId == OGG_CODEC_THEORA) {
      /* Unknown (just after a repositioning): timed one frame after the
       * last one delivered. */
      packet->granule = -1;
      st->granuleAcc += 1;
      return 0;
    }
    if (base == -1) {
      int64_t g = st->cur.granule;
      base = (int64_t)length < g ? g - (int64_t)length : 0;
      st->prev.granule = base;
    }
    packet->granule = (int64_t)((uint64_t)base + (uint64_t)st->granuleAcc);
    /* OGM video: the page's granule is the frame number of its last packet,
     * so the packets count back from it; this also holds on the first page,
     * where the previous page is a header page. */
    if (st->kind == OGG_KIND_VIDEO && st->codecId != OGG_CODEC_THEORA && st->cur.granule >= 0 &&
        st->cur.packetsEnding >= st->endedOnPage)
      packet->granule = st->cur.granule - (int64_t)(st->cur.packetsEnding - st->endedOnPage);
    /* Theora: every packet is one frame, so the packets of one page follow
     * the previous page's granule one frame apart instead of sharing it. */
    if (st->codecId == OGG_CODEC_THEORA) st->granuleAcc += 1;
    return 0;
  }
}

int32_t ogg_frame_ms(uint64_t frame, uint32_t num, uint32_t den) {
  /* frame * 1000 * den / num, truncated once at the end, so that a frame
   * exactly on a millisecond gets it. The frame is split at the numerator
   * so that no product leaves 64 bits, also in the 32-bit build. */
  if (num == 0) return 0;
  uint64_t perFrames = (uint64_t)den * 1000u;
  uint64_t whole = frame / num, rest = frame % num;
  if (perFrames && whole > (uint64_t)INT32_MAX / perFrames) return INT32_MAX;
  uint64_t part = rest * den; /* below 2^64: rest < num */
  uint64_t ms = whole * perFrames + part / num * 1000u + part % num * 1000u / num;
  return ms > (uint64_t)INT32_MAX ? INT32_MAX : (int32_t)ms;
}

uint64_t ogg_theora_frame(const OggVideoInfo* v, int64_t granule) {
  /* Unknown (just after a repositioning): one frame after the last one. */
  if (granule == -1) return (uint64_t)v->lastFrame + 1u;
  uint64_t g = (uint64_t)granule;
  if (v->theoraVersion < 0x030201) g += (uint64_t)1 << v->kfShift;
  return (g >> v->kfShift) + ((uint64_t)granule & v->kfMask);
}

int32_t ogg_theora_time(const OggVideoInfo* v, int64_t granule, int32_t* timeMs) {
  *timeMs = ogg_frame_ms(ogg_theora_frame(v, granule), v->rateNum, v->rateDen);
  return granule != -1;
}

uint32_t ogg_ogm_header_bytes(uint8_t first) {
  return 1u + (((uint32_t)first >> 6 & 3u) | ((uint32_t)first << 1 & 4u));
}

int32_t ogg_ogm_video_time(const OggVideoInfo* v, int64_t granule) {
  double spu = (double)v->samplesPerUnit;
  if (spu == 0) return 0;
  return ogg_ms((double)granule * (double)(uint32_t)v->frameDuration / (spu * 10000.0));
}

static int copy_saved(OggDmxContext* ctx, uint32_t serial, const OggPacketRequest* req, OggPacketRecord* pkt,
                      int32_t* result) {
  if (!ctx->savedBuffer || ctx->saved.serial != serial) return 0;
  /* The copy never runs past the caller's buffer. */
  if (ctx->saved.size > req->capacity) {
    *result = OGG_ERR_TOO_BIG;
    return 1;
  }
  *pkt = ctx->saved;
  memcpy(req->buffer, ctx->savedBuffer, ctx->saved.size);
  pkt->buffer = req->buffer;
  ogg_free(ctx->savedBuffer);
  ctx->savedBuffer = NULL;
  *result = 0;
  return 1;
}

int32_t ogg_read_packet(OggDmxContext* ctx, const OggPacketRequest* req, OggPacketResult* res) {
  if (!req || !res) return OGG_ERR_ARGUMENT;
  if (!req->buffer) return OGG_ERR_ARGUMENT;
  uint32_t serial;
  int audio;
  if (!ctx->callerStreams) {
    if (req->kind == OGG_KIND_VIDEO) {
      if (ctx->videoIndex < 0) return OGG_ERR_NO_STREAM;
      serial = (uint32_t)ctx->selectedVideoSerial;
      audio = 0;
    } else if (req->kind == OGG_KIND_AUDIO) {
      if (ctx->audioIndex < 0) return OGG_ERR_NO_STREAM;
      serial = (uint32_t)ctx->selectedAudioSerial;
      audio = 1;
    } else {
      return OGG_ERR_BAD_KIND;
    }
  } else {
    serial = req->serial;
    audio = req->kind == OGG_KIND_AUDIO;
  }
  OggStreamEntry* st = ogg_find_stream(ctx, serial);
  if (!st) return OGG_ERR_NO_STREAM;
  OggPacketRecord pkt;
  memset(&pkt, 0, sizeof(pkt));
  int32_t result = 0;
  int32_t timeMs = 0;
  if (audio) {
    if (!copy_saved(ctx, serial, req, &pkt, &result)) {
      pkt.buffer = req->buffer;
      pkt.size = req->capacity;
      result = ogg_packet_checkout(&pkt, ctx, serial);
      if (result != 0) return result;
      if (ctx->callerStreams && pkt.size >= 8 && memcmp(pkt.buffer + 1, "vorbis", 6) == 0) {
        if (st->headersLeft >= 1) {
          st->headersLeft--;
        } else {
          /* A header met again (a new chain link): the three headers are
           * stepped over and the first audio packet after them delivered. */
          for (int i = 0; i < 3 && result == 0; ++i) {
            pkt.buffer = req->buffer;
            pkt.size = req->capacity;
            result = ogg_packet_checkout(&pkt, ctx, serial);
          }
          if (result != 0) return result;
        }
      }
    } else if (result != 0) {
      return result;
    }
    uint32_t rate = st->audio.sampleRate;
    timeMs = rate ? ogg_ms((double)pkt.granule * 1000.0 / (double)rate) : 0;
  } else {
    for (;;) {
      if (!copy_saved(ctx, serial, req, &pkt, &result)) {
        pkt.buffer = req->buffer;
        pkt.size = req->capacity;
        result = ctx->seekPending
                     ? _find_video_key(ctx, &pkt, ctx->followFlags, ctx->followTarget, req->capacity)
                     : _find_video_key(ctx, &pkt, 0, 0, req->capacity);
      }
      if (result != 0) return result;
      if (st->codecId == OGG_CODEC_THEORA) break;
      /* OGM: the packet's header byte and the length bytes it announces
       * go; an empty packet has none and is stepped over. */
      if (pkt.size == 0) continue;
      uint32_t skip = ogg_ogm_header_bytes(pkt.buffer[0]);
      if (skip > pkt.size) skip = pkt.size;
      memmove(pkt.buffer, pkt.buffer + skip, pkt.size - skip);
      pkt.size -= skip;
      break;
    }
    if (st->codecId == OGG_CODEC_THEORA) {
      ogg_theora_time(&st->video, pkt.granule, &timeMs);
      st->video.lastFrame = (int64_t)ogg_theora_frame(&st->video, pkt.granule);
      st->video.lastTimeMs = (uint32_t)timeMs;
      ctx->video.lastTimeMs = (uint32_t)timeMs;
    } else {
      timeMs = ogg_ogm_video_time(&st->video, pkt.granule);
    }
  }
  res->buffer = req->buffer;
  res->size = pkt.size;
  res->kind = req->kind;
  res->timeMs = timeMs;
  res->serial = pkt.serial;
  ctx->lastTimeMs = timeMs;
  return result;
}
