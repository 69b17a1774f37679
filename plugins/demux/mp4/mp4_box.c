/* The box walk, its handler table and the movie, track, media and sample
 * description handlers. */
#include "mp4_internal.h"

typedef int32_t (*BoxHandler)(Mp4Context* c, int64_t end, uint32_t type);
typedef struct { uint32_t type; BoxHandler handler; } BoxRow;

#define FC(s) MP4_FOURCC((s)[0], (s)[1], (s)[2], (s)[3])
#define RD(call) do { if (call) return MP4_ERR_FIELD; } while (0)

static Mp4Reader* main_reader(Mp4Context* c) { return &c->readers[RD_MAIN]; }

int32_t mp4_read_box_header(Mp4Reader* r, int64_t* start, int64_t* size, uint32_t* type) {
  uint8_t b[8];
  *start = mp4_pos(r);
  int32_t e = mp4_dmx_bs_read_bytes(r, b, 8);
  if (e) return e;
  *type = MP4_FOURCC(b[4], b[5], b[6], b[7]);
  uint64_t s = ((uint32_t)b[0] << 24) | ((uint32_t)b[1] << 16) | ((uint32_t)b[2] << 8) | b[3];
  int64_t header = 8;
  if (s == 1) {
    e = mp4_rd64(r, &s);
    if (e) return e;
    header = 16;
  }
  /* Sizes of 0 end the level; sizes smaller than the header are broken. */
  if (s != 0 && s < (uint64_t)header) s = 0;
  *size = s > (uint64_t)0x3FFFFFFFFFFFFFFFLL ? 0x3FFFFFFFFFFFFFFFLL : (int64_t)s;
  return 0;
}

static int32_t full_box(Mp4Reader* r, uint32_t* version, uint32_t* flags) {
  uint32_t v;
  if (mp4_rd32(r, &v)) return MP4_ERR_FIELD;
  *version = v >> 24;
  if (flags) *flags = v & 0xFFFFFF;
  return 0;
}

/* ---- containers ---- */

static int32_t box_walk(Mp4Context* c, int64_t end, uint32_t type) { return mp4_walk(c, end); }
static int32_t box_nothing(Mp4Context* c, int64_t end, uint32_t type) { return 0; }
static int32_t box_cmov(Mp4Context* c, int64_t end, uint32_t type) { return MP4_ERR_UNSUPPORTED; }

static int32_t box_moov(Mp4Context* c, int64_t end, uint32_t type) {
  c->moov_seen = 1;
  int32_t r = mp4_walk(c, end);
  if (r < MP4_ERR_FATAL || !c->fragmented) return r;
  for (int32_t i = 0; i < c->track_count; ++i) {
    int32_t e = mp4_frag_adopt_index(c, c->tracks[i]);
    if (e) return gMp4DmxLastErrorCode = e;
  }
  return r;
}

static int32_t box_tcud(Mp4Context* c, int64_t end, uint32_t type) {
  c->swapped_tables = 1;
  return 0;
}

static int32_t box_mvex(Mp4Context* c, int64_t end, uint32_t type) {
  c->fragmented = 1;
  return mp4_walk(c, end);
}

static int32_t box_meta(Mp4Context* c, int64_t end, uint32_t type) {
  /* The ISO form starts with its version/flags word, which would read as a
   * child of size 0; step over it so the items are read as well. */
  Mp4Reader* r = main_reader(c);
  uint8_t peek[8];
  if (mp4_dmx_bs_show_bytes(r, peek, 8) == 8 && !peek[0] && !peek[1] && !peek[2] && !peek[3])
    mp4_skip(r, 4);
  return mp4_walk(c, end);
}

static int32_t box_ftyp(Mp4Context* c, int64_t end, uint32_t type) {
  Mp4Reader* r = main_reader(c);
  uint8_t brand[4];
  /* The major brand, the minor version (n = 1) and the compatible brands. */
  for (int n = 0; mp4_pos(r) + 4 <= end && n < 64; ++n) {
    if (mp4_dmx_bs_read_bytes(r, brand, 4)) return MP4_ERR_FIELD;
    if (n != 1 && brand[0] == '3' && brand[1] == 'g') c->is_3gp = 1;
  }
  return 0;
}

static int32_t box_trak(Mp4Context* c, int64_t end, uint32_t type) {
  if (c->track_count >= MP4_MAX_TRACKS) return MP4_ERR_UNSUPPORTED;
  Mp4Track* t = mp4_format_add_stream(c, (int32_t)sizeof(Mp4Track));
  if (!t) return gMp4DmxLastErrorCode;
  c->parsing = t;
  int32_t r = mp4_walk(c, end);
  if (r < MP4_ERR_FATAL) return r;
  if (c->parsing == t) {
    int32_t e = mp4_complete_track(c, t);
    if (e) {
      c->parsing = 0;
      return e;
    }
  }
  /* Nothing after the track's end belongs to it. */
  c->parsing = 0;
  return r;
}

static int32_t box_mvhd(Mp4Context* c, int64_t end, uint32_t type) {
  Mp4Reader* r = main_reader(c);
  uint32_t version, ts, d32;
  uint64_t created = 0, d64 = 0;
  RD(full_box(r, &version, 0));
  if (version == 1) {
    RD(mp4_rd64(r, &created));
    RD(mp4_skip(r, 8));
    RD(mp4_rd32(r, &ts));
    RD(mp4_rd64(r, &d64));
  } else {
    RD(mp4_rd32(r, &d32));
    created = d32;
    RD(mp4_skip(r, 4));
    RD(mp4_rd32(r, &ts));
    RD(mp4_rd32(r, &d32));
    d64 = d32;
  }
  /* Seconds since 1904, unsigned: those since 1970 are taken without a
   * signed overflow, a time past what 63 bits hold stays at the largest. */
  const uint64_t from1904 = 2082844800u;
  int64_t since1970 = created < from1904 ? -(int64_t)(from1904 - created)
                      : created - from1904 > (uint64_t)INT64_MAX ? INT64_MAX
                                                                : (int64_t)(created - from1904);
  Mp4Tm tm;
  mp4_dmx_to_tm(since1970, &tm);
  c->timescale = (int32_t)ts;
  /* A timescale of 0 leaves the duration unknown. */
  c->duration_ms = 0;
  if (ts) {
    float ms = (float)d64 / (float)ts * 1000.0f;
    c->duration_ms = ms >= 2147483647.0f ? 0x7FFFFFFF : (int32_t)ms;
  }
  return 0;
}

static int32_t box_tkhd(Mp4Context* c, int64_t end, uint32_t type) {
  Mp4Track* t = c->parsing;
  if (!t) return MP4_END;
  Mp4Reader* r = main_reader(c);
  uint32_t version, id, m[6];
  RD(full_box(r, &version, 0));
  RD(mp4_skip(r, version == 1 ? 16 : 8));
  RD(mp4_rd32(r, &id));
  RD(mp4_skip(r, 4 + (version == 1 ? 8 : 4) + 16));
  RD(mp4_rd32(r, &m[0]));
  RD(mp4_rd32(r, &m[1]));
  RD(mp4_rd32(r, &m[2]));
  RD(mp4_rd32(r, &m[3]));
  RD(mp4_rd32(r, &m[4]));
  RD(mp4_rd32(r, &m[5]));
  t->track_id = id;
  int32_t a = (int32_t)m[0], b = (int32_t)m[1], cc = (int32_t)m[3], d = (int32_t)m[4];
  if (a == 0 && b == 0x10000 && cc == -0x10000 && d == 0) t->rotation = 90;
  else if (a == 0 && b == -0x10000 && cc == 0x10000 && d == 0) t->rotation = 270;
  else if (a == -0x10000 && b == 0 && cc == 0 && d == -0x10000) t->rotation = 180;
  else t->rotation = 0;
  return 0;
}

/* Macintosh language codes 0 to 138; empty entries leave the language empty. */
static const char kMacLanguages[139][4] = {
  "eng", "fra", "ger", "ita", "dut", "sve", "spa", "dan", "por", "nor", "heb", "jpn", "ara", "fin",
  "gre", "ice", "mlt", "tur", "hrv", "chi", "urd", "hin", "tha", "kor", "lit", "pol", "hun", "est",
  "lav", "", "fao", "per", "rus", "chi", "", "gle", "alb", "rum", "cze", "slo", "slv", "yid", "srp",
  "mac", "bul", "ukr", "bel", "uzb", "kaz", "aze", "aze", "arm", "geo", "mol", "kir", "tgk", "tuk",
  "mon", "mon", "pus", "kur", "kas", "snd", "tib", "nep", "san", "mar", "ben", "asm", "guj", "pan",
  "ori", "mal", "kan", "tam", "tel", "sin", "bur", "khm", "lao", "vie", "ind", "tgl", "may", "may",
  "amh", "tir", "orm", "som", "swa", "kin", "run", "nya", "mlg", "epo", "", "", "", "", "", "", "",
  "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "",
  "", "", "wel", "baq", "cat", "lat", "que", "grn", "aym", "tat", "uig", "dzo", "jav",
};

static int32_t box_mdhd(Mp4Context* c, int64_t end, uint32_t type) {
  Mp4Track* t = c->parsing;
  if (!t) return MP4_END;
  Mp4Reader* r = main_reader(c);
  uint32_t version, ts, d32, lang;
  uint64_t d64;
  RD(full_box(r, &version, 0));
  if (version == 1) {
    RD(mp4_skip(r, 16));
    RD(mp4_rd32(r, &ts));
    RD(mp4_rd64(r, &d64));
  } else {
    RD(mp4_skip(r, 8));
    RD(mp4_rd32(r, &ts));
    RD(mp4_rd32(r, &d32));
    d64 = d32;
  }
  RD(mp4_rd16(r, &lang));
  t->timescale = (int32_t)ts;
  t->duration = d64 > (uint64_t)0x3FFFFFFFFFFFFFFFLL ? 0x3FFFFFFFFFFFFFFFLL : (int64_t)d64;
  mp4_fill(t->language, 0, 4);
  if (lang >= 1024 && lang != 0x7FFF) {
    t->language[0] = (char)(((lang >> 10) & 0x1F) + 0x60);
    t->language[1] = (char)(((lang >> 5) & 0x1F) + 0x60);
    t->language[2] = (char)((lang & 0x1F) + 0x60);
  } else if (lang < 139) {
    mp4_copy(t->language, kMacLanguages[lang], 4);
  }
  return 0;
}

static int32_t box_hdlr(Mp4Context* c, int64_t end, uint32_t type) {
  Mp4Reader* r = main_reader(c);
  uint32_t version, component, handler;
  RD(full_box(r, &version, 0));
  RD(mp4_dmx_bs_read_bytes(r, &component, 4));
  RD(mp4_dmx_bs_read_bytes(r, &handler, 4));
  /* Handlers outside a track (a "meta" of the movie) describe no track. */
  Mp4Track* t = c->parsing;
  if (!t) return 0;
  if (component == FC("mhlr")) {
    if (handler == FC("vide")) t->desc.kind = MP4_KIND_VIDEO;
    else if (handler == FC("soun")) t->desc.kind = MP4_KIND_AUDIO;
    else if (handler == FC("text")) t->desc.kind = MP4_KIND_SUBTITLE;
    else if (c->track_count && c->tracks[c->track_count - 1] == t) mp4_format_remove_stream(c);
  } else if (component != FC("dhlr")) {
    if (handler == FC("vide")) t->desc.kind = MP4_KIND_VIDEO;
    else if (handler == FC("soun")) t->desc.kind = MP4_KIND_AUDIO;
    else if (handler == FC("subt") || handler == FC("text")) t->desc.kind = MP4_KIND_SUBTITLE;
  }
  return 0;
}

/* Rest of the box as the track's configuration bytes. */
static int32_t box_config(Mp4Context* c, int64_t end, uint32_t type) {
  Mp4Track* t = c->parsing;
  if (!t) return MP4_ERR_NO_TRACK;
  if (type == FC("avcC")) c->avcc_seen = 1;
  Mp4Reader* r = main_reader(c);
  int64_t n = end - mp4_pos(r);
  if (n <= 0 || n > 0x1000000 || n > c->file_size) return 0;
  if (!mp4_packet_format_extra(t, (int32_t)n)) return 0;
  if (mp4_dmx_bs_read_bytes(r, t->desc.config, (int32_t)n)) {
    mp4_packet_format_extra(t, 0);
    return MP4_ERR_FIELD;
  }
  return 0;
}

static int32_t box_pasp(Mp4Context* c, int64_t end, uint32_t type) {
  Mp4Reader* r = main_reader(c);
  uint32_t h, v;
  RD(mp4_rd32(r, &h));
  RD(mp4_rd32(r, &v));
  c->info.h_spacing = (int32_t)h;
  c->info.v_spacing = (int32_t)v;
  return 0;
}

/* ---- esds ---- */

static int32_t descriptor(Mp4Reader* r, uint32_t* tag, uint32_t* length) {
  uint32_t b;
  RD(mp4_rd8(r, tag));
  *length = 0;
  for (int i = 0; i < 4; ++i) {
    RD(mp4_rd8(r, &b));
    *length = (*length << 7) | (b & 0x7F);
    if (!(b & 0x80)) break;
  }
  return 0;
}

typedef struct { const uint8_t* p; int32_t bits; int32_t pos; } Bits;

/* Reads n bits; past the end of the bytes it gives zeros. */
static uint32_t bits_get(Bits* b, int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; ++i) {
    uint32_t bit = 0;
    if (b->pos < b->bits) bit = (b->p[b->pos >> 3] >> (7 - (b->pos & 7))) & 1;
    b->pos++;
    v = (v << 1) | bit;
  }
  return v;
}

static const int32_t kAacRates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                      22050, 16000, 12000, 11025, 8000, 7350};
static const int32_t kAacChannels[8] = {0, 1, 2, 3, 4, 5, 6, 8};

static void read_audio_specific_config(Mp4Track* t) {
  Bits b = {t->desc.config, t->desc.config_length > 0 ? t->desc.config_length * 8 : 0, 0};
  if (!b.bits) return;
  uint32_t object = bits_get(&b, 5);
  if (object == 22) t->desc.format = 22;
  uint32_t freq = bits_get(&b, 4);
  if (freq == 15) {
    if (b.bits >= 33) t->desc.sample_rate = (int32_t)bits_get(&b, 24);
    else return;
  } else if (freq < 13) {
    t->desc.sample_rate = kAacRates[freq];
  }
  if (b.pos + 4 > b.bits) return;
  uint32_t ch = bits_get(&b, 4);
  if (ch < 8) t->desc.channels = kAacChannels[ch];
}

static int32_t box_esds(Mp4Context* c, int64_t end, uint32_t type) {
  Mp4Track* t = c->parsing;
  if (!t) return MP4_ERR_NO_TRACK;
  Mp4Reader* r = main_reader(c);
  uint32_t version, tag, len, flags, object, v1, v2;
  RD(full_box(r, &version, 0));
  RD(descriptor(r, &tag, &len));
  if (tag == 3) {
    RD(mp4_skip(r, 2));
    RD(mp4_rd8(r, &flags));
    if (flags & 0x80) RD(mp4_skip(r, 2));
    if (flags & 0x40) {
      uint32_t url;
      RD(mp4_rd8(r, &url));
      RD(mp4_skip(r, url));
    }
    if (flags & 0x20) RD(mp4_skip(r, 2));
    RD(descriptor(r, &tag, &len));
  }
  if (tag != 4) return 0;
  RD(mp4_rd8(r, &object));
  RD(mp4_skip(r, 4));
  RD(mp4_rd32(r, &v1));
  RD(mp4_rd32(r, &v2));
  if (t->desc.kind == MP4_KIND_VIDEO || t->desc.kind == MP4_KIND_AUDIO) {
    t->desc.max_bitrate = (int32_t)v1;
    t->desc.avg_bitrate = (int32_t)v2;
  }
  if (mp4_pos(r) + 2 <= end && descriptor(r, &tag, &len) == 0 && tag == 5) {
    int64_t room = end - mp4_pos(r);
    if (len > 0 && (int64_t)len <= room && mp4_packet_format_extra(t, (int32_t)len) &&
        mp4_dmx_bs_read_bytes(r, t->desc.config, (int32_t)len))
      mp4_packet_format_extra(t, 0);
  }
  if (t->desc.kind == MP4_KIND_VIDEO) {
    switch (object) {
      case 0x20: t->desc.codec = FC("mp4v"); break;
      case 0x60: case 0x61: case 0x62: case 0x63: case 0x64: case 0x65: case 0x6A:
        t->desc.codec = FC("mpeg"); break;
      case 0x6C: t->desc.codec = FC("MJPG"); c->seekable = 1; break;
      case 0x6D: t->desc.codec = FC("png "); c->seekable = 1; break;
      case 0x6E: t->desc.codec = FC("mjp2"); break;
      case 0xA3: t->desc.codec = FC("VC1 "); break;
      default: break;
    }
    return 0;
  }
  if (t->desc.kind != MP4_KIND_AUDIO) return 0;
  if (object == 0x40 || (object >= 0x66 && object <= 0x68)) {
    t->desc.format = 0xAAC0;
    read_audio_specific_config(t);
  } else if (object == 0x69 || object == 0x6B) {
    t->desc.format = 0x55;
  } else if (object == 0xA0) {
    if (t->desc.config_length >= 5 && t->desc.config[0] == 'E' && t->desc.config[1] == 'V' &&
        t->desc.config[2] == 'R' && t->desc.config[3] == 'C')
      t->desc.format = 0xCD00;
  } else if (object == 0xD1) {
    t->desc.format = 0xCD00;
  } else if (object >= 0xA9 && object <= 0xAC) {
    t->desc.format = 0x2001;
  } else if (object == 0xDD) {
    t->desc.format = 0x674F;
  } else if (object == 0xE1) {
    if (t->desc.config_length >= 4 && t->desc.config[0] == 'Q' && t->desc.config[1] == 'L' &&
        t->desc.config[2] == 'C' && t->desc.config[3] == 'M') {
      t->desc.format = 0xCC00;
      t->desc.channels = 1;
      t->desc.bits = 16;
      t->desc.sample_rate = 8000;
    }
  } else if (object >= 0xC0 && object <= 0xFE) {
    t->desc.format = 0;
  } else {
    return MP4_END;
  }
  return 0;
}

/* ---- sample entries ---- */

enum { SE_VISUAL, SE_VISUAL_3GP, SE_IMAGE, SE_AUDIO, SE_AUDIO_3GP, SE_TX3G, SE_TEXT };

typedef struct {
  uint32_t code;
  uint8_t shape;
  int32_t format;     /* audio format code */
  uint32_t replace;   /* stored code for the images, 0 keeps the entry's */
  int32_t rate;       /* 3GPP audio */
  int32_t bits;
} EntryRow;

static const EntryRow kEntries[] = {
  {MP4_FOURCC('S', '2', '6', '3'), SE_VISUAL_3GP, 0, 0, 0, 0},
  {MP4_FOURCC('s', '2', '6', '3'), SE_VISUAL_3GP, 0, 0, 0, 0},
  {MP4_FOURCC('j', 'p', 'e', 'g'), SE_IMAGE, 0, 0, 0, 0},
  {MP4_FOURCC('m', 'j', 'p', '2'), SE_IMAGE, 0, 0, 0, 0},
  {MP4_FOURCC('M', 'J', 'P', 'G'), SE_IMAGE, 0, 0, 0, 0},
  {MP4_FOURCC('m', 'j', 'p', 'a'), SE_IMAGE, 0, 0, 0, 0},
  {MP4_FOURCC('m', 'j', 'p', 'b'), SE_IMAGE, 0, 0, 0, 0},
  {MP4_FOURCC('t', 'i', 'f', 'f'), SE_IMAGE, 0, 0, 0, 0},
  {MP4_FOURCC('m', 'j', 'p', 'g'), SE_IMAGE, 0, 0, 0, 0},
  {MP4_FOURCC('A', 'V', 'D', 'J'), SE_IMAGE, 0, MP4_FOURCC('j', 'p', 'e', 'g'), 0, 0},
  {MP4_FOURCC('p', 'n', 'g', ' '), SE_IMAGE, 0, MP4_FOURCC('P', 'N', 'G', '_'), 0, 0},
  {MP4_FOURCC('m', 'p', '4', 'a'), SE_AUDIO, 0xAAC0, 0, 0, 0},
  {MP4_FOURCC('a', 'c', '-', '3'), SE_AUDIO, 0x2000, 0, 0, 0},
  {MP4_FOURCC('e', 'c', '-', '3'), SE_AUDIO, 0x2008, 0, 0, 0},
  {MP4_FOURCC('a', 'l', 'a', 'c'), SE_AUDIO, 0xA1AC, 0, 0, 0},
  {MP4_FOURCC('A', 'P', 'E', ' '), SE_AUDIO, 2718, 0, 0, 0},
  {MP4_FOURCC('a', 'p', 'e', ' '), SE_AUDIO, 2718, 0, 0, 0},
  {MP4_FOURCC('Q', 'D', 'M', '2'), SE_AUDIO, 0x450, 0, 0, 0},
  {MP4_FOURCC('W', 'M', 'A', '1'), SE_AUDIO, 0x160, 0, 0, 0},
  {MP4_FOURCC('w', 'm', 'a', '1'), SE_AUDIO, 0x160, 0, 0, 0},
  {MP4_FOURCC('W', 'M', 'A', '2'), SE_AUDIO, 0x161, 0, 0, 0},
  {MP4_FOURCC('w', 'm', 'a', '2'), SE_AUDIO, 0x161, 0, 0, 0},
  {MP4_FOURCC('m', 's', 'S', 'F'), SE_AUDIO, 0x5346, 0, 0, 0},
  {MP4_FOURCC('m', 's', 's', 'f'), SE_AUDIO, 0x5346, 0, 0, 0},
  {MP4_FOURCC('m', 's', 'V', 'o'), SE_AUDIO, 0x674F, 0, 0, 0},
  {MP4_FOURCC('.', 'm', 'p', '3'), SE_AUDIO, 0x55, 0, 0, 0},
  {MP4_FOURCC('i', 'm', 'a', '4'), SE_AUDIO, 0x10011, 0, 0, 0},
  {MP4_FOURCC('r', 'a', 'w', ' '), SE_AUDIO, 1, 0, 0, 8},
  {MP4_FOURCC('N', 'O', 'N', 'E'), SE_AUDIO, 1, 0, 0, 8},
  {MP4_FOURCC('s', 'o', 'w', 't'), SE_AUDIO, 1, 0, 0, 16},
  {MP4_FOURCC('t', 'w', 'o', 's'), SE_AUDIO, 8, 0, 0, 16},
  {MP4_FOURCC('u', 'l', 'a', 'w'), SE_AUDIO, 7, 0, 0, 8},
  {MP4_FOURCC('a', 'l', 'a', 'w'), SE_AUDIO, 6, 0, 0, 8},
  {MP4_FOURCC('s', 'a', 'm', 'r'), SE_AUDIO_3GP, 87, 0, 8000, 16},
  {MP4_FOURCC('s', 'a', 'w', 'b'), SE_AUDIO_3GP, 88, 0, 16000, 16},
  {MP4_FOURCC('s', 'a', 'w', 'p'), SE_AUDIO_3GP, 86, 0, 16000, 16},
  {MP4_FOURCC('s', 'e', 'v', 'c'), SE_AUDIO_3GP, 0xCD00, 0, 8000, 16},
  {MP4_FOURCC('s', 'e', 'c', 'b'), SE_AUDIO_3GP, 0xCD01, 0, 16000, 16},
  {MP4_FOURCC('s', 'e', 'c', 'w'), SE_AUDIO_3GP, 0xCD02, 0, 16000, 16},
  {MP4_FOURCC('s', 'q', 'c', 'p'), SE_AUDIO_3GP, 0xCC00, 0, 8000, 16},
  {MP4_FOURCC('s', 'v', 'm', 'r'), SE_AUDIO_3GP, 0xCD10, 0, 16000, 16},
  {MP4_FOURCC('s', 's', 'm', 'v'), SE_AUDIO_3GP, 0xCD20, 0, 8000, 8},
  {MP4_FOURCC('t', 'x', '3', 'g'), SE_TX3G, 0, 0, 0, 0},
  {MP4_FOURCC('t', 'e', 'x', 't'), SE_TEXT, 0, 0, 0, 0},
  {MP4_FOURCC('s', 't', 'p', 'p'), SE_TEXT, 0, 0, 0, 0},
};

static const uint16_t kMsFormats[] = {0x0002, 0x0011, 0x0020, 0x0050, 0x0055, 0x0160, 0x0161, 0x0162, 0x0163, 0xF1AC};
static const uint16_t kMsReversed[] = {0x0002, 0x0011, 0x0055};

/* Finds the row of an entry code; "ms" codes fill `scratch`. */
static const EntryRow* entry_row(uint32_t code, EntryRow* scratch) {
  for (size_t i = 0; i < sizeof(kEntries) / sizeof(kEntries[0]); ++i)
    if (kEntries[i].code == code) return &kEntries[i];
  uint8_t b0 = code & 0xFF, b1 = (code >> 8) & 0xFF, b2 = (code >> 16) & 0xFF, b3 = code >> 24;
  mp4_fill(scratch, 0, sizeof(*scratch));
  scratch->shape = SE_AUDIO;
  if (b0 == 'm' && b1 == 's') {
    uint16_t f = (uint16_t)((b2 << 8) | b3);
    for (size_t i = 0; i < sizeof(kMsFormats) / sizeof(kMsFormats[0]); ++i)
      if (kMsFormats[i] == f) return scratch->format = f, scratch;
  }
  if (b2 == 's' && b3 == 'm') {
    uint16_t f = (uint16_t)((b1 << 8) | b0);
    for (size_t i = 0; i < sizeof(kMsReversed) / sizeof(kMsReversed[0]); ++i)
      if (kMsReversed[i] == f) return scratch->format = f, scratch;
  }
  if (code != FC("MP4S") && code != FC("mp4s") && mp4_video_name(code)) {
    scratch->shape = SE_VISUAL;
    return scratch;
  }
  return 0;
}

/* Default palettes of the Macintosh colour tables: grey steps for 2 bits and
 * colour cubes with grey ramps for 4 and 8 bits. */
static void default_palette(uint8_t* p, int entries) {
  for (int i = 0; i < entries; ++i) {
    uint8_t r, g, b;
    if (entries == 4) {
      r = g = b = (uint8_t)(255 - i * 85);
    } else if (entries == 16) {
      static const uint8_t k16[16][3] = {{255, 255, 255}, {252, 243, 5}, {255, 100, 2}, {221, 8, 6},
                                         {242, 8, 132}, {70, 0, 165}, {0, 0, 212}, {2, 171, 234},
                                         {31, 183, 20}, {0, 100, 17}, {86, 44, 5}, {144, 113, 58},
                                         {192, 192, 192}, {128, 128, 128}, {64, 64, 64}, {0, 0, 0}};
      r = k16[i][0], g = k16[i][1], b = k16[i][2];
    } else if (i < 216) {
      r = (uint8_t)(255 - (i / 36) * 51), g = (uint8_t)(255 - (i / 6 % 6) * 51), b = (uint8_t)(255 - (i % 6) * 51);
    } else {
      r = g = b = (uint8_t)(255 - (i - 215) * 255 / 40);
    }
    p[4 * i] = r, p[4 * i + 1] = g, p[4 * i + 2] = b, p[4 * i + 3] = 0;
  }
}

static int32_t read_palette(Mp4Reader* r, Mp4Track* t, uint32_t depth, uint32_t table_id, int64_t end) {
  int entries = 1 << depth;
  if (!mp4_packet_format_extra(t, entries * 4)) return 0;
  uint8_t* p = t->desc.config;
  mp4_fill(p, 0, (size_t)entries * 4);
  if (depth & 0x20) return 0;
  if ((depth & 0x20) == 0 && (table_id & 8)) {
    default_palette(p, entries);
    return 0;
  }
  uint32_t first, last, idx, cr, cg, cb;
  RD(mp4_rd32(r, &first));
  RD(mp4_skip(r, 2));
  RD(mp4_rd16(r, &last));
  (void)first;
  for (uint32_t n = 0; n <= last && n < (uint32_t)entries && mp4_pos(r) + 8 <= end; ++n) {
    RD(mp4_rd16(r, &idx));
    RD(mp4_rd16(r, &cr));
    RD(mp4_rd16(r, &cg));
    RD(mp4_rd16(r, &cb));
    if (idx >= (uint32_t)entries) continue;  /* indices beyond the palette are dropped */
    p[4 * idx] = (uint8_t)(cr >> 8), p[4 * idx + 1] = (uint8_t)(cg >> 8), p[4 * idx + 2] = (uint8_t)(cb >> 8);
  }
  return 0;
}

static int32_t visual_entry(Mp4Context* c, Mp4Track* t, uint32_t code, int64_t end) {
  Mp4Reader* r = main_reader(c);
  uint32_t w, h, depth, table;
  t->desc.kind = MP4_KIND_VIDEO;
  t->desc.codec = code;
  RD(mp4_skip(r, 16));
  RD(mp4_rd16(r, &w));
  RD(mp4_rd16(r, &h));
  RD(mp4_skip(r, 46));
  RD(mp4_rd16(r, &depth));
  RD(mp4_rd16(r, &table));
  t->desc.width = (int32_t)w;
  t->desc.height = (int32_t)h;
  t->desc.depth = (int32_t)(depth & 0x1F);
  uint32_t d = depth & 0x1F;
  if (d == 2 || d == 4 || d == 8) {
    if (depth & 0x20) {
      int entries = 1 << d;
      if (mp4_packet_format_extra(t, entries * 4))
        for (int i = 0; i < entries; ++i) {
          uint8_t v = (uint8_t)(255 - i * 255 / (entries - 1));
          t->desc.config[4 * i] = t->desc.config[4 * i + 1] = t->desc.config[4 * i + 2] = v;
          t->desc.config[4 * i + 3] = 0;
        }
    } else {
      int32_t e = read_palette(r, t, d, table, end);
      if (e) return e;
    }
  }
  int32_t e = mp4_walk(c, end);
  if (e < MP4_ERR_FATAL) return e;
  mp4_packet_format_default(t);
  return 0;
}

static int32_t audio_entry(Mp4Context* c, Mp4Track* t, const EntryRow* row, uint32_t code, int64_t end) {
  Mp4Reader* r = main_reader(c);
  int raw = code == FC("raw ") || code == FC("NONE");
  int pcm_le = raw || code == FC("sowt");
  int sized = pcm_le || code == FC("twos") || code == FC("ulaw") || code == FC("alaw");
  t->desc.kind = MP4_KIND_AUDIO;
  t->desc.entry_code = code;
  t->audio_entry = code;
  t->desc.format = row->format;
  t->desc.format_flags = (pcm_le || code == FC("twos")) ? 96 : 32;
  t->desc.channels = 1;
  t->desc.bits = row->bits ? row->bits : 16;
  if (end - mp4_pos(r) >= 20) {
    uint32_t version, ch, size, rate;
    RD(mp4_rd16(r, &version));
    RD(mp4_skip(r, 6));
    RD(mp4_rd16(r, &ch));
    RD(mp4_rd16(r, &size));
    RD(mp4_skip(r, 4));
    RD(mp4_rd16(r, &rate));
    RD(mp4_skip(r, 2));
    t->desc.channels = (int32_t)ch;
    t->desc.bits = (int32_t)size;
    t->desc.sample_rate = (int32_t)rate;
    if (version == 1) {
      uint32_t spp, bpp, bpf, bps;
      RD(mp4_rd32(r, &spp));
      RD(mp4_rd32(r, &bpp));
      RD(mp4_rd32(r, &bpf));
      RD(mp4_rd32(r, &bps));
      t->samples_per_packet = (int32_t)spp;
      t->bytes_per_packet = (int32_t)bpp;
      t->bytes_per_frame = (int32_t)bpf;
      t->desc.samples_per_packet = (int32_t)spp;
      if (row->format == 2 || row->format == 0x11) t->desc.block_align = (int32_t)bpf;
    } else if (version == 2) {
      uint32_t st, ch32, w[5];
      uint64_t bits;
      RD(mp4_rd32(r, &st));
      RD(mp4_rd64(r, &bits));
      RD(mp4_rd32(r, &ch32));
      for (int i = 0; i < 5; ++i) RD(mp4_rd32(r, &w[i]));
      double rate_f;
      mp4_copy(&rate_f, &bits, 8);
      if (rate_f > 0 && rate_f < 2147483647.0) t->desc.sample_rate = (int32_t)rate_f;
      t->desc.channels = (int32_t)ch32;
      t->desc.bits = (int32_t)w[1];
      t->bytes_per_frame = (int32_t)w[3];
      t->samples_per_packet = (int32_t)w[4];
    } else if (sized && size) {
      t->samples_per_packet = -1;
      t->pcm_v0 = 1;
      t->desc.block_align = (int32_t)((int64_t)size * ch / 8);
    }
    if (code == FC("ima4")) {
      t->samples_per_packet = 64;
      t->bytes_per_packet = 34 * t->desc.channels;
    }
    int32_t e = mp4_walk(c, end);
    if (e < MP4_ERR_FATAL) return e;
  }
  mp4_packet_format_default(t);
  return 0;
}

static const uint8_t kAmrNb[16] = {13, 14, 16, 18, 20, 21, 27, 32, 6, 1, 1, 1, 1, 1, 1, 1};
static const uint8_t kAmrWb[16] = {18, 24, 33, 37, 41, 47, 51, 59, 61, 6, 6, 0, 0, 0, 1, 1};

static int32_t audio_3gp_entry(Mp4Context* c, Mp4Track* t, const EntryRow* row, int64_t end) {
  Mp4Reader* r = main_reader(c);
  c->is_3gp = 1;
  t->desc.kind = MP4_KIND_AUDIO;
  t->desc.format = row->format;
  t->desc.sample_rate = row->rate;
  t->desc.bits = row->bits;
  t->desc.channels = 1;
  t->desc.format_flags = 32;
  uint32_t v, fps = 0;
  RD(mp4_skip(r, 16));
  RD(mp4_rd16(r, &v));
  RD(mp4_skip(r, 2));
  int64_t child, size;
  uint32_t type;
  RD(mp4_read_box_header(r, &child, &size, &type));
  RD(mp4_skip(r, 5));
  if (row->format == 87 || row->format == 88) {
    uint32_t modes, period;
    RD(mp4_rd16(r, &modes));
    RD(mp4_rd8(r, &period));
    RD(mp4_rd8(r, &fps));
    if (period && period * 2 < fps) fps = period * 2;
    static const uint32_t kSingle[] = {1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 0x8000};
    int single = 0;
    for (size_t i = 0; i < sizeof(kSingle) / sizeof(kSingle[0]); ++i) single |= modes == kSingle[i];
    if (!single && fps > 1) {
      t->amr_frame_size = 0;
      c->amr_mode = 1;
    } else {
      int bit = 0;
      while (bit < 16 && !(modes & (1u << bit))) ++bit;
      const uint8_t* table = row->format == 87 ? kAmrNb : kAmrWb;
      t->amr_frame_size = bit < 16 ? table[bit] : 0;
      c->amr_mode = 0;
    }
  } else if (row->format == 0xCD10) {
    RD(mp4_skip(r, 2));
    RD(mp4_rd8(r, &fps));
  } else {
    RD(mp4_rd8(r, &fps));
  }
  if (fps > 1) {
    t->frames_per_sample = (int32_t)fps;
    t->desc.frames_per_sample = (int32_t)fps;
  }
  mp4_packet_format_default(t);
  return 0;
}

static int32_t sample_entry(Mp4Context* c, Mp4Track* t, uint32_t code, int64_t end) {
  EntryRow scratch;
  const EntryRow* row = entry_row(code, &scratch);
  if (!row) return 0;
  switch (row->shape) {
    case SE_VISUAL:
      return visual_entry(c, t, code, end);
    case SE_VISUAL_3GP:
      c->is_3gp = 1;
      return visual_entry(c, t, code, end);
    case SE_IMAGE:
      c->seekable = 1;
      return visual_entry(c, t, row->replace ? row->replace : code, end);
    case SE_AUDIO:
      return audio_entry(c, t, row, code, end);
    case SE_AUDIO_3GP:
      return audio_3gp_entry(c, t, row, end);
    case SE_TX3G:
      c->is_3gp = 1;
      t->desc.kind = MP4_KIND_SUBTITLE;
      t->desc.subtitle_code = code;
      return 0;
    default:
      t->desc.kind = MP4_KIND_SUBTITLE;
      t->desc.subtitle_code = mp4_upper_fourcc(code);
      return 0;
  }
}

static int32_t box_stsd(Mp4Context* c, int64_t end, uint32_t type) {
  Mp4Track* t = c->parsing;
  if (!t) return MP4_END;
  Mp4Reader* r = main_reader(c);
  uint32_t version, count, first = 0;
  RD(full_box(r, &version, 0));
  RD(mp4_rd32(r, &count));
  int32_t result = 0;
  for (uint32_t i = 0; i < count; ++i) {
    int64_t start, size;
    uint32_t code;
    if (mp4_pos(r) + 8 > end || mp4_read_box_header(r, &start, &size, &code) || size == 0) {
      if (i == 0) break;
      return MP4_ERR_STSD;
    }
    int64_t entry_end = start + size;
    if (entry_end > end) entry_end = end;
    if (i == 0) {
      first = code;
      RD(mp4_skip(r, 8));
      result = sample_entry(c, t, code, entry_end);
      if (result < MP4_ERR_FATAL) return result;
    } else if (code != first) {
      c->multi_desc = 1;
      t->desc.kind = MP4_KIND_NONE;
      return MP4_ERR_UNSUPPORTED;
    }
    if (code == FC("encv") || code == FC("enca")) break;
    if (mp4_dmx_bs_fseek(r, entry_end)) return MP4_ERR_FIELD;
  }
  if (t->desc.kind == MP4_KIND_NONE && c->track_count && c->tracks[c->track_count - 1] == t)
    mp4_format_remove_stream(c);
  return 0;
}

static int32_t box_mdat(Mp4Context* c, int64_t end, uint32_t type) { return 0; }

/* iTunes items, the sample tables and the fragment boxes live in their own files. */
static const BoxRow kMainTable[] = {
  {MP4_FOURCC('f', 't', 'y', 'p'), box_ftyp},
  {MP4_FOURCC('m', 'o', 'o', 'v'), box_moov},
  {MP4_FOURCC('t', 'c', 'u', 'd'), box_tcud},
  {MP4_FOURCC('t', 'r', 'a', 'k'), box_trak},
  {MP4_FOURCC('t', 'k', 'h', 'd'), box_tkhd},
  {MP4_FOURCC('m', 'v', 'h', 'd'), box_mvhd},
  {MP4_FOURCC('m', 'd', 'h', 'd'), box_mdhd},
  {MP4_FOURCC('s', 't', 'b', 'l'), box_walk},
  {MP4_FOURCC('m', 'i', 'n', 'f'), box_walk},
  {MP4_FOURCC('e', 'd', 't', 's'), box_walk},
  {MP4_FOURCC('m', 'd', 'i', 'a'), box_walk},
  {MP4_FOURCC('u', 'd', 't', 'a'), box_walk},
  {MP4_FOURCC('i', 'l', 's', 't'), box_walk},
  {MP4_FOURCC('w', 'a', 'v', 'e'), box_walk},
  {MP4_FOURCC('-', '-', '-', '-'), box_walk},
  {MP4_FOURCC('r', 'm', 'd', 'a'), box_walk},
  {MP4_FOURCC('r', 'm', 'r', 'a'), box_nothing},
  {MP4_FOURCC('r', 'd', 'r', 'f'), box_nothing},
  {MP4_FOURCC('d', 'c', 'o', 'm'), box_nothing},
  {MP4_FOURCC('c', 'm', 'v', 'd'), box_nothing},
  {MP4_FOURCC('d', 'a', 't', 'a'), box_nothing},
  {MP4_FOURCC('n', 'a', 'm', 'e'), box_nothing},
  {MP4_FOURCC('c', 'h', 'p', 'l'), box_nothing},
  {MP4_FOURCC(0xA9, 't', 'o', 'o'), box_nothing},
  {MP4_FOURCC(0xA9, 'c', 'm', 't'), box_nothing},
  {MP4_FOURCC('c', 'p', 'r', 't'), box_nothing},
  {MP4_FOURCC('c', 'm', 'o', 'v'), box_cmov},
  {MP4_FOURCC('m', 'e', 't', 'a'), box_meta},
  {MP4_FOURCC('h', 'd', 'l', 'r'), box_hdlr},
  {MP4_FOURCC('s', 't', 's', 'd'), box_stsd},
  {MP4_FOURCC('s', 't', 's', 's'), mp4_box_stss},
  {MP4_FOURCC('s', 't', 's', 'c'), mp4_box_stsc},
  {MP4_FOURCC('s', 't', 'c', 'o'), mp4_box_stco},
  {MP4_FOURCC('c', 'o', '6', '4'), mp4_box_stco},
  {MP4_FOURCC('c', 't', 't', 's'), mp4_box_ctts},
  {MP4_FOURCC('s', 't', 's', 'z'), mp4_box_stsz},
  {MP4_FOURCC('s', 't', 't', 's'), mp4_box_stts},
  {MP4_FOURCC('e', 's', 'd', 's'), box_esds},
  {MP4_FOURCC('S', 'M', 'I', ' '), box_config},
  {MP4_FOURCC('g', 'l', 'b', 'l'), box_config},
  {MP4_FOURCC('h', 'v', 'c', 'C'), box_config},
  {MP4_FOURCC('a', 'v', 'c', 'C'), box_config},
  {MP4_FOURCC(0xA9, 'a', 'l', 'b'), mp4_box_item},
  {MP4_FOURCC(0xA9, 'A', 'R', 'T'), mp4_box_item},
  {MP4_FOURCC('a', 'A', 'R', 'T'), mp4_box_item},
  {MP4_FOURCC(0xA9, 'd', 'a', 'y'), mp4_box_item},
  {MP4_FOURCC(0xA9, 'n', 'a', 'm'), mp4_box_item},
  {MP4_FOURCC(0xA9, 'w', 'r', 't'), mp4_box_item},
  {MP4_FOURCC('c', 'o', 'v', 'r'), mp4_box_item},
  {MP4_FOURCC('g', 'n', 'r', 'e'), mp4_box_item},
  {MP4_FOURCC(0xA9, 'g', 'e', 'n'), mp4_box_item},
  {MP4_FOURCC('c', 'p', 'i', 'l'), mp4_box_item},
  {MP4_FOURCC('t', 'r', 'k', 'n'), mp4_box_item},
  {MP4_FOURCC('d', 'i', 's', 'k'), mp4_box_item},
  {MP4_FOURCC(0xA9, 'x', 'y', 'z'), mp4_box_item},
  {MP4_FOURCC('m', 'v', 'e', 'x'), box_mvex},
  {MP4_FOURCC('m', 'e', 'h', 'd'), mp4_box_mehd},
  {MP4_FOURCC('t', 'r', 'e', 'x'), mp4_box_trex},
  {MP4_FOURCC('p', 'a', 's', 'p'), box_pasp},
  {MP4_FOURCC('m', 'o', 'o', 'f'), mp4_box_moof},
  {MP4_FOURCC('m', 'd', 'a', 't'), box_mdat},
};

static BoxHandler lookup(uint32_t type) {
  for (size_t i = 0; i < sizeof(kMainTable) / sizeof(kMainTable[0]); ++i)
    if (kMainTable[i].type == type) return kMainTable[i].handler;
  return 0;
}

int32_t mp4_walk(Mp4Context* c, int64_t end) {
  Mp4Reader* r = main_reader(c);
  int32_t result = 0;
  if (c->depth >= MP4_MAX_DEPTH) return 0;
  c->depth++;
  for (;;) {
    if (mp4_pos(r) >= end - 8) break;
    int64_t start, size;
    uint32_t type;
    if (mp4_read_box_header(r, &start, &size, &type) || size == 0) break;
    int64_t child_end = start + size;
    if (type == FC("mdat")) c->mdat_seen = 1;
    if (type == FC("moof")) {
      c->moof_start = start;
      c->moof_size = size;
    }
    BoxHandler h = lookup(type);
    if (h) {
      /* Handlers size their tables by what the box holds within the file. */
      int32_t hr = h(c, child_end < c->file_size ? child_end : c->file_size, type);
      if (hr < MP4_ERR_FATAL) {
        c->depth--;
        return hr;
      }
      if (hr != 0 && r->eof) {
        result = hr;
        break;
      }
      if (gMp4DmxLastErrorCode < 0) {
        result = gMp4DmxLastErrorCode;
        break;
      }
    }
    if (child_end > c->file_size) {
      c->depth--;
      return 0;  /* a box cut by the end of the file */
    }
    if (mp4_dmx_bs_fseek(r, child_end)) {
      result = MP4_ERR_SEEK;
      break;
    }
  }
  c->depth--;
  if (r->eof) {
    if (c->moov_seen && c->mdat_seen) {
      r->eof = 0;
      gMp4DmxLastErrorCode = 0;
      return 0;
    }
    return MP4_ERR_EOF;
  }
  return result;
}

int32_t mp4_dec_open(Mp4Context* c) {
  c->moov_seen = c->mdat_seen = 0;
  c->max_sample = MP4_FIRST_MAX_SAMPLE;
  int32_t r = mp4_walk(c, c->file_size);
  if (r < MP4_ERR_FATAL) return r;
  if (!c->moov_seen) return MP4_ERR_FORMAT;
  if (c->fragmented) {
    gfpGetTimestamp = get_timestamp_for_sampleidx_fmp4;
    gfpSeekBaseTrack = seek_base_track_fmp4;
  } else {
    gfpGetTimestamp = get_timestamp_for_sampleidx;
    gfpSeekBaseTrack = seek_base_track;
  }
  return r < 0 ? r : 0;
}
