/* DVD sub-picture units: display control sequences, run-length decoding of
 * the two fields, cropping and conversion to 16-bit pixels. */
#include "mpg_internal.h"

/* Delays count 1024/90000 s. */
static uint32_t delay_ms(uint32_t delay) { return (uint32_t)((uint64_t)delay * 1024 / 90); }

static int32_t parse_control(PsSpuState* s, const uint8_t* unit, uint32_t size) {
  uint32_t ctrl = (uint32_t)unit[2] << 8 | unit[3];
  if (ctrl < 4 || ctrl >= size) return MPG_ERR_NO_END_COMMAND;
  uint32_t area = size - ctrl;
  MpgBitReader b;
  initbits(&b, unit + ctrl, area);
  int commands = 0, ended = 0;
  /* a sequence needs its delay, its link and at least one command */
  while (used_byte(&b) + 5 <= area) {
    uint32_t here = ctrl + used_byte(&b);
    uint32_t delay = getbits(&b, 16);
    uint32_t next = getbits(&b, 16);
    for (;;) {
      if (commands >= MPG_MAX_SPU_COMMANDS || used_byte(&b) >= area) return MPG_ERR_NO_END_COMMAND;
      uint32_t cmd = getbits(&b, 8);
      ++commands;
      if (cmd == 0xFF) break;
      switch (cmd) {
        case 0x00: s->forced = 1; break;
        case 0x01: s->start_delay = delay; break;
        case 0x02: s->stop_delay = delay; break;
        case 0x03:
          for (int i = 3; i >= 0; --i) s->colour[i] = (uint8_t)getbits(&b, 4);
          break;
        case 0x04:
          for (int i = 3; i >= 0; --i) s->contrast[i] = (uint8_t)getbits(&b, 4);
          break;
        case 0x05:
        case 0x85:
          s->x1 = getbits(&b, 12);
          s->x2 = getbits(&b, 12);
          s->y1 = getbits(&b, 12);
          s->y2 = getbits(&b, 12);
          break;
        case 0x06:
          s->top_offset = getbits(&b, 16);
          s->bottom_offset = getbits(&b, 16);
          break;
        case 0x83:
          for (int i = 0; i < 768; ++i) s->work[i] = (uint8_t)getbits(&b, 8);
          break;
        case 0x84:
          for (int i = 0; i < 256; ++i) s->work[768 + i] = (uint8_t)~getbits(&b, 8);
          break;
        case 0x86:
          s->top_offset = getbits(&b, 32);
          s->bottom_offset = getbits(&b, 32);
          break;
        default: break;
      }
    }
    ended = 1;
    /* the last sequence links to itself */
    if (next == here) break;
  }
  return ended ? MPG_OK : MPG_ERR_NO_END_COMMAND;
}

static void decode_field(const PsSpuState* s, const uint8_t* unit, uint32_t size, uint32_t offset, uint32_t row0,
                         uint16_t* out) {
  MpgBitReader b;
  initbits(&b, unit + offset, size - offset);
  for (uint32_t y = row0; y < s->height; y += 2) {
    uint16_t* row = out + (size_t)y * s->width;
    uint32_t x = 0;
    while (x < s->width) {
      /* 1 to 4 nibbles: leading zeros say how many follow */
      uint32_t v = getbits(&b, 4);
      if (v < 0x4) {
        v = v << 4 | getbits(&b, 4);
        if (v < 0x10) {
          v = v << 4 | getbits(&b, 4);
          if (v < 0x40) v = v << 4 | getbits(&b, 4);
        }
      }
      uint32_t code = v & 3, run = v >> 2;
      if (run == 0 || run > s->width - x) run = s->width - x;
      for (uint32_t i = 0; i < run; ++i) row[x + i] = (uint16_t)(code << 8 | code);
      x += run;
    }
    alignbits(&b);
  }
}

int32_t KVR_MPG_DecRLE(void* context, const MpgSubpictureRequest* req, MpgSubpicture* pic) {
  const PsSpuState* s = &((MpgContext*)context)->spu;
  uint32_t size = (uint32_t)req->unit[0] << 8 | req->unit[1];
  decode_field(s, req->unit, size, s->top_offset, 0, pic->pixels);
  decode_field(s, req->unit, size, s->bottom_offset, 1, pic->pixels);
  return MPG_OK;
}

static int32_t KVR_MPG_CheckBoundaries(MpgContext* c, const MpgSubpictureRequest* req, MpgSubpicture* pic) {
  PsSpuState* s = &c->spu;
  uint16_t* px = pic->pixels;
  uint32_t w = s->width, h = s->height;
  uint32_t left = 0, top = 0, cw = w, ch = h;
  if (req->crop) {
    uint32_t background = 0;
    for (uint32_t k = 0; k < 4; ++k)
      if (s->contrast[k] == 0) {
        background = k;
        break;
      }
    uint32_t x0 = w, x1 = 0, y0 = h, y1 = 0;
    for (uint32_t y = 0; y < h; ++y)
      for (uint32_t x = 0; x < w; ++x)
        if ((px[(size_t)y * w + x] & 3) != background) {
          if (x < x0) x0 = x;
          if (x > x1) x1 = x;
          if (y < y0) y0 = y;
          if (y > y1) y1 = y;
        }
    if (x0 <= x1 && y0 <= y1) {
      left = x0;
      top = y0;
      cw = x1 - x0 + 1;
      ch = y1 - y0 + 1;
    }
  }
  uint16_t value[4];
  for (int k = 0; k < 4; ++k) {
    uint32_t col = s->colour[k] & 0xF;
    value[k] = (uint16_t)((s->contrast[k] & 0xF) << 12 | col << 8 | col << 4 | col);
  }
  for (uint32_t y = 0; y < ch; ++y)
    for (uint32_t x = 0; x < cw; ++x) px[(size_t)y * cw + x] = value[px[(size_t)(y + top) * w + x + left] & 3];
  pic->width = cw;
  pic->height = ch;
  pic->left = s->x1 + left;
  pic->top = s->y1 + top;
  return MPG_OK;
}

/* Hosts that leave the picture's second word 0 (it was once left unwritten)
 * size their buffer for the largest DVD picture. */
static int fits(const PsSpuState* s, const MpgSubpicture* pic) {
  if (pic->capacity == 0) return s->width <= MPG_SPU_MAX_WIDTH && s->height <= MPG_SPU_MAX_HEIGHT;
  return (uint64_t)s->width * s->height <= pic->capacity;
}

static int32_t after_base(int64_t t, int32_t base) {
  if (t <= base) return 0;
  t -= base;
  return t > INT32_MAX ? INT32_MAX : (int32_t)t;
}

int32_t MPG_Core_SubTitle(MpgContext* c, const MpgSubpictureRequest* req, MpgSubpicture* pic) {
  if (!req || !pic || !req->unit || req->length < 4) return MPG_ERR_INCOMPLETE;
  uint32_t size = (uint32_t)req->unit[0] << 8 | req->unit[1];
  if (size > req->length || size < 4) return MPG_ERR_INCOMPLETE;
  PsSpuState* s = &c->spu;
  c->host.fill(s, 0, sizeof *s);
  int32_t e = parse_control(s, req->unit, size);
  if (e < 0) return e;
  /* an area turned inside out, or pixel data outside the unit */
  if (s->x2 < s->x1 || s->y2 < s->y1 || s->top_offset < 4 || s->top_offset >= size || s->bottom_offset < 4 ||
      s->bottom_offset >= size)
    return MPG_ERR_INCOMPLETE;
  s->width = s->x2 - s->x1 + 1;
  s->height = s->y2 - s->y1 + 1;
  if (!pic->pixels || !fits(s, pic)) return MPG_ERR_ARGUMENT;
  int64_t pts_ms = MPG_MS(c->last_spu_pts);
  KVR_MPG_DecRLE(c, req, pic);
  KVR_MPG_CheckBoundaries(c, req, pic);
  pic->start_ms = after_base(pts_ms + delay_ms(s->start_delay), c->video_base_ms);
  pic->end_ms = after_base(pts_ms + delay_ms(s->stop_delay), c->video_base_ms);
  return MPG_OK;
}
