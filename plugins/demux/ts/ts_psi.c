/* PSI sections: gathering with CRC-32, PAT, PMT, stream descriptions, the
 * one-segment fallback, the program list and the selection record. */
#include <string.h>

#include "ts_internal.h"

static uint32_t g_crcTable[256];
static int g_crcReady;

uint32_t ts_crc32(const uint8_t* p, int32_t n) {
  if (!g_crcReady) {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i << 24;
      for (int k = 0; k < 8; ++k) c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : c << 1;
      g_crcTable[i] = c;
    }
    g_crcReady = 1;
  }
  uint32_t crc = 0xFFFFFFFFu;
  for (int32_t i = 0; i < n; ++i) crc = (crc << 8) ^ g_crcTable[((crc >> 24) ^ p[i]) & 0xFF];
  return crc;
}

int32_t GatherSection(TsDemuxContext* ctx, PidSlot* s, const uint8_t* p, int32_t n, int start) {
  if (n < 0) n = 0;
  if (start) {
    s->complete = 0;
    s->gathered = 0;
    s->sectionLength = -1; /* known once three header bytes are in */
    s->unitPos = ts_reader_pos(ctx);
  } else if (s->complete) {
    ctx->currentPid = s->pid;
    return TS_FAIL(ctx, -1004);
  }
  int32_t room = TS_SECTION_BUFFER - s->gathered;
  if (s->sectionLength >= 0) {
    int32_t left = s->sectionLength + 3 - s->gathered;
    if (room > left) room = left;
  }
  int32_t take = n < room ? n : room;
  if (take > 0) {
    memcpy(s->sectionBuf + s->gathered, p, (size_t)take);
    s->gathered += take;
  }
  if (s->sectionLength < 0) {
    if (s->gathered < 3) return TSR_SKIP; /* header split across packets */
    s->sectionLength = ((s->sectionBuf[1] & 0x0F) << 8) | s->sectionBuf[2];
    if (s->sectionLength > 4093) {
      s->complete = 1;
      return TS_FAIL(ctx, -1001);
    }
    int32_t total = s->sectionLength + 3;
    if (s->gathered > total) s->gathered = total;
    /* Bytes of this packet beyond what the header length let us take. */
    if (take < n && s->gathered < total) {
      int32_t more = n - take;
      if (more > total - s->gathered) more = total - s->gathered;
      memcpy(s->sectionBuf + s->gathered, p + take, (size_t)more);
      s->gathered += more;
    }
  }
  if (s->gathered < s->sectionLength + 3) return TSR_SKIP;
  s->complete = 1;
  if (!(ctx->openFlags & TSD_OPEN_NO_CRC) && ts_crc32(s->sectionBuf, s->sectionLength + 3) != 0) {
    ctx->currentPid = s->pid;
    return TS_FAIL(ctx, -1009);
  }
  int64_t pos = ts_reader_pos(ctx) + ctx->packetSize;
  ctx->sectionPos = pos;
  return s->handler ? s->handler(ctx, s, pos) : TSR_SKIP;
}

ProgramEntry* ts_find_program(TsDemuxContext* ctx, int32_t programNumber) {
  for (ProgramEntry* p = ctx->programs; p; p = p->next)
    if (p->programNumber == programNumber) return p;
  return NULL;
}

static void clear_selection_if_current(TsDemuxContext* ctx, ProgramEntry* prog) {
  if (ctx->currentProgram != prog) return;
  ctx->currentProgram = NULL;
  for (int i = 0; i < K_COUNT; ++i) ctx->selected[i] = NULL;
  ctx->frameStream = NULL;
}

/* Releases a program's streams (slots with a description are deactivated,
 * others freed) and frees its stream list. */
static void release_program_streams(TsDemuxContext* ctx, ProgramEntry* prog) {
  clear_selection_if_current(ctx, prog);
  ProgramStream* st = prog->first;
  while (st) {
    ProgramStream* next = st->next;
    if (ctx->frameStream == st) ctx->frameStream = NULL;
    ts_release_slot(ctx, st->pid);
    ts_free(st);
    st = next;
  }
  prog->first = prog->last = NULL;
  prog->streamCount = 0;
  prog->kinds = 0;
  prog->lastKinds = 0;
}

void ts_free_programs(TsDemuxContext* ctx) {
  ProgramEntry* p = ctx->programs;
  while (p) {
    ProgramEntry* next = p->next;
    ProgramStream* st = p->first;
    while (st) {
      ProgramStream* n = st->next;
      ts_free(st);
      st = n;
    }
    ts_free(p);
    p = next;
  }
  ctx->programs = NULL;
  ctx->programCount = 0;
  ctx->acceptedCount = 0;
  ctx->currentProgram = NULL;
  for (int i = 0; i < K_COUNT; ++i) ctx->selected[i] = NULL;
  ctx->frameStream = NULL;
}

ProgramEntry* ts_new_program(TsDemuxContext* ctx, int32_t number, int32_t pmtPid) {
  ProgramEntry* p = (ProgramEntry*)ts_calloc(sizeof(ProgramEntry));
  if (p == NULL) return NULL;
  p->programNumber = number;
  p->pmtPid = pmtPid;
  p->version = 255;
  ProgramEntry** tail = &ctx->programs;
  while (*tail) tail = &(*tail)->next;
  *tail = p;
  return p;
}

int32_t ParsePat(TsDemuxContext* ctx, PidSlot* slot, int64_t pos) {
  (void)pos;
  const uint8_t* b = slot->sectionBuf;
  int32_t len = slot->sectionLength;
  if (b[0] != 0) return TS_FAIL(ctx, -1015);
  if (len < 9) return TS_FAIL(ctx, -1002);
  int32_t version = (b[5] >> 1) & 31;
  slot->sectionNumber = b[6];
  slot->lastSectionNumber = b[7];
  if (ctx->programs && version == slot->version) {
    if (ctx->acceptedCount == ctx->programCount) {
      for (ProgramEntry* p = ctx->programs; p; p = p->next) {
        p->state &= ~0x1;
        if (!RegisterSectionHandler(ctx, p->pmtPid, 2, ParsePmt)) return 0;
      }
      ctx->acceptedCount = 0;
    }
    return TSR_PAT;
  }
  slot->version = version;
  ctx->acceptedCount = 0;
  for (int32_t pid = 1; pid < TS_PID_COUNT; ++pid) {
    PidSlot* s = ctx->pids[pid];
    if (s && s->type == 1) s->active = 0;
  }
  int32_t left = len - 5; /* bytes from byte 8 to the section's end */
  const uint8_t* q = b + 8;
  int32_t count = 0;
  ProgramEntry* cur = ctx->programs;
  ProgramEntry* prev = NULL;
  while (left > 4) {
    int32_t number = (q[0] << 8) | q[1];
    int32_t pmt = ((q[2] & 0x1F) << 8) | q[3];
    q += 4;
    left -= 4;
    if (number == 0) continue;
    ProgramEntry* p = cur;
    if (p) {
      if (p->programNumber != number || p->pmtPid != pmt) {
        release_program_streams(ctx, p);
        p->programNumber = number;
        p->pmtPid = pmt;
        p->version = 255;
        p->state = 0;
      }
    } else {
      p = ts_new_program(ctx, number, pmt);
      if (p == NULL) return TS_FAIL(ctx, -2);
    }
    p->state &= ~0x1;
    if (!RegisterSectionHandler(ctx, pmt, 2, ParsePmt)) return 0;
    prev = p;
    cur = p->next;
    count++;
  }
  /* Programs beyond the new count go. */
  ProgramEntry* rest = prev ? prev->next : ctx->programs;
  if (prev) prev->next = NULL; else ctx->programs = NULL;
  while (rest) {
    ProgramEntry* n = rest->next;
    release_program_streams(ctx, rest);
    ts_free(rest);
    rest = n;
  }
  ctx->programCount = count;
  if (left != 4) return TS_FAIL(ctx, -1002);
  ctx->currentPid = 0;
  ctx->currentSectionPos = slot->unitPos;
  return TSR_PAT;
}

ProgramStream* AddProgramStream(TsDemuxContext* ctx, ProgramEntry* prog, int32_t pid) {
  if (pid < 0 || pid >= TS_PID_COUNT) return NULL;
  PidSlot* s = ctx->pids[pid];
  if (s == NULL) {
    s = (PidSlot*)ts_calloc(sizeof(PidSlot));
    if (s == NULL) return NULL;
    s->pid = pid;
    s->lastCc = -1;
    s->prevCc = -1;
    s->bytes = -1;
    s->pts = TS_PTS_NONE;
    ctx->pids[pid] = s;
  }
  if (s->info == NULL) {
    s->info = (StreamInfo*)ts_calloc(sizeof(StreamInfo));
    if (s->info == NULL) return NULL;
    s->info->pid = pid;
    s->info->firstTs = TS_PTS_NONE;
    s->info->lastTs = TS_PTS_NONE;
    s->info->firstPos = -1;
    s->info->dvProfile = -1;
  }
  for (ProgramStream* st = prog->first; st; st = st->next)
    if (st->pid == pid) return st;
  ProgramStream* st = (ProgramStream*)ts_calloc(sizeof(ProgramStream));
  if (st == NULL) return NULL;
  st->pid = pid;
  st->info = s->info;
  st->program = prog;
  st->lastTimeMs = -1;
  st->basePts = TS_PTS_NONE;
  if (prog->last) prog->last->next = st; else prog->first = st;
  prog->last = st;
  if (prog->streamCount < 255) prog->streamCount++;
  return st;
}

typedef struct {
  uint32_t kind;
  uint32_t tag; /* four-character code (video) or format tag (audio) */
  uint32_t sub; /* audio sub-format or subtitle/private type */
} Desc;

#define FOURCC(a, b, c, d) ((uint32_t)(a) | ((uint32_t)(b) << 8) | ((uint32_t)(c) << 16) | ((uint32_t)(d) << 24))

static int lookup_desc(uint32_t id, Desc* d) {
  d->sub = 0;
  switch (id) {
    case 0x10001: case 0x10002: case 0x20001: case 0x20002: case 0x30001: case 0x30002:
    case 0x30080: case 0x40002: case 0xFFFF0001: case 0xFFFF0002: case 0xFFFF0080:
      d->kind = TSD_KIND_VIDEO; d->tag = FOURCC('m', 'p', 'e', 'g'); return 1;
    case 0x10003: case 0x10004: case 0x20003: case 0x20004: case 0x30003: case 0x30004:
    case 0xFFFF0003: case 0xFFFF0004:
      d->kind = TSD_KIND_AUDIO; d->tag = 0x55; return 1;
    case 0x1000F: case 0x2000F: case 0x5000F: case 0xFFFF000F:
      d->kind = TSD_KIND_AUDIO; d->tag = 0xAAC0; d->sub = 1; return 1;
    case 0x10010: case 0x20010: case 0xFFFF0010:
      d->kind = TSD_KIND_VIDEO; d->tag = FOURCC('M', 'P', '4', 'V'); return 1;
    case 0x10011: case 0x20011: case 0xFFFF0011:
      d->kind = TSD_KIND_AUDIO; d->tag = 0xAAC0; d->sub = 2; return 1;
    case 0x2001B: case 0x5001B: case 0xFFFF001B:
      d->kind = TSD_KIND_VIDEO | KB_AVC; d->tag = FOURCC('H', '2', '6', '4'); return 1;
    case 0x20020:
      d->kind = TSD_KIND_VIDEO | KB_DEPENDENT; d->tag = FOURCC('M', 'V', 'C', ' '); return 1;
    case 0xFFFF0024:
      d->kind = TSD_KIND_VIDEO; d->tag = FOURCC('H', 'E', 'V', 'C'); return 1;
    case 0xFFFF0042:
      d->kind = TSD_KIND_VIDEO; d->tag = FOURCC('A', 'V', 'S', ' '); return 1;
    case 0x200EA: case 0xFFFF00EA:
      d->kind = TSD_KIND_VIDEO; d->tag = FOURCC('V', 'C', '1', ' '); return 1;
    case 0x20080: d->kind = TSD_KIND_AUDIO; d->tag = 1; d->sub = 9; return 1;
    case 0x20081: case 0x30081: case 0x40081: case 0x50081: case 0xFFFF0081:
      d->kind = TSD_KIND_AUDIO; d->tag = 0x2000; return 1;
    case 0x20082: case 0xFFFF0082: case 0xFFFF008A:
      d->kind = TSD_KIND_AUDIO; d->tag = 0x2001; return 1;
    case 0x20083: d->kind = TSD_KIND_AUDIO; d->tag = 0x2000; d->sub = 3; return 1;
    case 0x50083: case 0xFFFF0083: d->kind = TSD_KIND_AUDIO; d->tag = 1; d->sub = 10; return 1;
    case 0x10087: case 0x20084: case 0x40087: case 0xFFFF0084:
      d->kind = TSD_KIND_AUDIO; d->tag = 0x2000; d->sub = 4; return 1;
    case 0x20085: case 0xFFFF0085: d->kind = TSD_KIND_AUDIO; d->tag = 0x2001; d->sub = 6; return 1;
    case 0x20086: case 0xFFFF0086: d->kind = TSD_KIND_AUDIO; d->tag = 0x2001; d->sub = 7; return 1;
    case 0x200A1: case 0xFFFF00A1: d->kind = TSD_KIND_AUDIO; d->tag = 0x2000; d->sub = 5; return 1;
    case 0x200A2: case 0xFFFF00A2: d->kind = TSD_KIND_AUDIO; d->tag = 0x2001; d->sub = 8; return 1;
    case 0x20090: case 0xFFFF0090: d->kind = TSD_KIND_GRAPHICS; d->tag = 0; d->sub = 1; return 1;
    case 0x20091: case 0xFFFF0091: d->kind = TSD_KIND_GRAPHICS; d->tag = 0; d->sub = 2; return 1;
    case 0x20092: case 0x30082: case 0xFFFF0092: case 0xFFFF0100:
      d->kind = TSD_KIND_TEXT; d->tag = 0; d->sub = 0; return 1;
    case 0x10000E1: d->kind = TSD_KIND_PRIVATE; d->tag = 0; d->sub = 0xE1; return 1;
    default: return 0;
  }
}

/* Fills kind and format from a codec identifier; family identifiers without
 * a row fall back to the generic row of the same stream_type. */
void ts_describe_stream(StreamInfo* si, uint32_t codec) {
  Desc d;
  if (!lookup_desc(codec, &d) && !lookup_desc(0xFFFF0000u | (codec & 0xFFFF), &d)) return;
  si->kind = d.kind;
  if (d.kind & TSD_KIND_VIDEO) {
    si->video.codecTag = d.tag;
  } else if (d.kind & TSD_KIND_AUDIO) {
    si->audio.formatTag = d.tag;
    si->audio.subKind = d.sub;
  } else if (d.kind & (TSD_KIND_GRAPHICS | TSD_KIND_TEXT)) {
    si->subtitleType = (int32_t)d.sub;
  } else if (d.kind & TSD_KIND_PRIVATE) {
    si->privateType = (int32_t)d.sub;
  }
}

static int has_desc(uint32_t codec) {
  Desc d;
  return lookup_desc(codec, &d) || lookup_desc(0xFFFF0000u | (codec & 0xFFFF), &d);
}

int32_t ParsePmt(TsDemuxContext* ctx, PidSlot* slot, int64_t pos) {
  (void)pos;
  const uint8_t* b = slot->sectionBuf;
  int32_t len = slot->sectionLength;
  if (b[0] != 2) return TS_FAIL(ctx, -1015);
  if (len < 13) return TS_FAIL(ctx, -1003);
  int32_t number = (b[3] << 8) | b[4];
  int32_t version = (b[5] >> 1) & 31;
  int oneSeg = ctx->psiFamily == 6;
  ProgramEntry* prog = ts_find_program(ctx, number);
  if (prog == NULL) {
    if (!oneSeg) return TS_FAIL(ctx, -10001);
    if (ctx->programCount >= 8) return TS_FAIL(ctx, -10000);
    prog = ts_new_program(ctx, number, slot->pid);
    if (prog == NULL) return TS_FAIL(ctx, -2);
    ctx->programCount++;
  }
  prog->programNumber = number;
  prog->pmtPid = slot->pid;
  prog->state &= ~0x2;

  int32_t left = len - 9; /* bytes after program_info_length to the section's end */
  int32_t infoLen = ((b[10] & 0x0F) << 8) | b[11];
  if (infoLen > left || infoLen >= 1024) return TS_FAIL(ctx, -1005);
  int32_t family = oneSeg ? 1 : ctx->psiFamily;
  const uint8_t* d = b + 12;
  for (int32_t i = 0; i + 2 <= infoLen;) {
    int32_t tag = d[i], dl = d[i + 1];
    if (i + 2 + dl > infoLen) break;
    if (tag == 0x05 && dl >= 4) {
      const uint8_t* f = d + i + 2;
      if (!memcmp(f, "HDMV", 4)) family = 2;
      else if (!memcmp(f, "SCTE", 4)) family = 3;
      else if (!memcmp(f, "GA94", 4)) family = 4;
      else if (!memcmp(f, "DVDF", 4)) family = 7;
    }
    i += 2 + dl;
  }
  if (!oneSeg) ctx->psiFamily = family;
  const uint8_t* q = b + 12 + infoLen;
  left -= infoLen;
  uint32_t kinds = 0;
  int changed = 0;
  ProgramStream* selVideo = ctx->currentProgram == prog ? ctx->selected[K_VIDEO] : NULL;
  ProgramStream* selAudio = ctx->currentProgram == prog ? ctx->selected[K_AUDIO] : NULL;
  while (left >= 5 + 4) {
    int32_t stype = q[0];
    int32_t pid = ((q[1] & 0x1F) << 8) | q[2];
    int32_t esLen = ((q[3] & 0x0F) << 8) | q[4];
    if (esLen > left - 5 - 4 || esLen >= 1024) return TS_FAIL(ctx, -1006);
    uint32_t codec = ((uint32_t)family << 16) | (uint32_t)stype;
    ProgramStream* st = AddProgramStream(ctx, prog, pid);
    if (st == NULL) return TS_FAIL(ctx, -12);
    StreamInfo* si = st->info;
    uint32_t oldCodec = si->codec;
    si->dvProfile = -1;
    int privateStream = stype == 0x06 && (family == 1 || family == 2);
    int dts1 = 0, ac3 = 0, hevcReg = 0;
    const uint8_t* e = q + 5;
    for (int32_t i = 0; i + 2 <= esLen;) {
      int32_t tag = e[i], dl = e[i + 1];
      if (i + 2 + dl > esLen) break;
      const uint8_t* f = e + i + 2;
      switch (tag) {
        case 0x0A:
          if (dl >= 4) {
            int32_t last = ((dl / 4) - 1) * 4;
            memcpy(si->language, f + last, 3);
            si->language[3] = 0;
          }
          break;
        case 0x05:
          if (dl < 4) break;
          if (!memcmp(f, "HEVC", 4)) {
            if (privateStream) codec = 0xFFFF0024;
            hevcReg = 1;
          } else if (!memcmp(f, "DTS1", 4)) {
            dts1 = 1;
          } else if (!memcmp(f, "AC-3", 4)) {
            ac3 = 1;
          } else if (!memcmp(f, "KVTP", 4)) {
            if (privateStream && dl >= 5 && f[4] == 0xE1) codec = 0x10000E1;
            if (dl > 5) {
              uint8_t* copy = (uint8_t*)ts_malloc((size_t)(dl - 5));
              if (copy == NULL) return TS_FAIL(ctx, -13);
              memcpy(copy, f + 5, (size_t)(dl - 5));
              ts_free(si->privateData);
              si->privateData = copy;
              si->privateLen = dl - 5;
            }
          } else if (!memcmp(f, "HDMV", 4)) {
            family = 2;
            if (dl == 8) {
              int32_t sct = f[5];
              codec = 0x20000u | (uint32_t)sct;
              if (sct == 0x02 || sct == 0x1B || sct == 0x20) {
                static const uint32_t rates[16] = {0, 23976, 24000, 25000, 29970, 0, 50000, 59940};
                si->video.frameRate = rates[f[6] & 0x0F];
              }
            } else {
              codec = 0x20000u | (codec & 0xFFFF);
            }
          }
          break;
        case 0x6A:
          if (codec == 0x10006) codec = 0x20081;
          break;
        case 0x7A:
          if (codec == 0x10006) codec = (dl >= 2 && (f[0] & 0x80) && !(f[1] & 0x80)) ? 0x20081 : 0x20084;
          break;
        case 0x7B:
          if (codec == 0x10006) codec = 0x20082;
          break;
        case 0x7C:
          if (codec == 0x10006) codec = 0x1000F;
          break;
        case 0xB0:
          if (codec == 0x10006) codec = 0xFFFF0024;
          if (dl >= 4) {
            si->dvProfile = f[2] >> 1;
            si->dvLevel = ((f[2] & 1) << 5) | (f[3] >> 3);
            hevcReg = 1;
          }
          break;
        default:
          break;
      }
      i += 2 + dl;
    }
    if ((codec & 0xFFFF) == 0x20) codec = 0x20020;
    if (codec == 0x10006 || codec == 0x20006) {
      if (dts1) codec = 0xFFFF008A;
      else if (ac3) codec = 0x20081;
    }
    if (si->flags & SI_PROBE_CODEC) {
      codec = si->codec;
    } else if (codec == 0x10006 || codec == 0x20006) {
      si->flags |= SI_PROBE_CODEC;
    }
    {
      Desc probe;
      if (!lookup_desc(codec, &probe) && lookup_desc(0xFFFF0000u | (codec & 0xFFFF), &probe))
        codec = 0xFFFF0000u | (codec & 0xFFFF);
    }
    if (has_desc(codec)) {
      si->codec = codec;
      ts_describe_stream(si, codec);
      kinds |= si->kind & KB_MASK;
      if ((st == selVideo || st == selAudio) && oldCodec != 0 && oldCodec != codec) changed = 1;
      if (codec == 0x2001B || codec == 0x5001B || codec == 0xFFFF001B) ctx->videoFamily = 1;
      if (codec == 0x20020 || (codec == 0xFFFF0024 && hevcReg)) ctx->videoFamily = 2;
      if ((ctx->openFlags & 0x1000000) && ctx->readState == TS_STATE_PSI)
        RegisterStreamSlot(ctx, pid, codec, (si->kind & KB_DEPENDENT) != 0, 0, 0, 1);
    } else {
      si->codec = codec;
    }
    q += 5 + esLen;
    left -= 5 + esLen;
  }
  if (left != 4) return TS_FAIL(ctx, -1003);
  if (ctx->currentProgram == prog && (prog->state & 0x1)) {
    if (((kinds ^ prog->lastKinds) & 0x3) || changed) prog->state |= 0x2;
  }
  prog->kinds = kinds;
  prog->lastKinds = kinds;
  prog->version = version;
  ctx->currentPid = slot->pid;
  ctx->currentSectionPos = slot->unitPos;
  if (prog->state & 0x1) return TSR_PMT;
  prog->state |= 0x1;
  ctx->acceptedCount++;
  return ctx->acceptedCount == ctx->programCount ? TSR_ALL_PMT : TSR_PMT;
}

int32_t CollectPsi(TsDemuxContext* ctx, int64_t start) {
  if (ctx->sourceMode != 2) return TS_FAIL(ctx, -1008);
  ctx->sectionPos = 0;
  ctx->packetCounter = 0;
  int32_t saved = ctx->readState;
  ctx->readState = TS_STATE_PSI;
  RepositionReader(ctx, ctx->mainReader, start);
  ctx->reader = ctx->mainReader;
  int oneSeg = ctx->psiFamily == 6;
  int tables = 0, budgets = 0, others = 0, ok = 0;
  for (;;) {
    int32_t allowance = oneSeg ? 24 : (ctx->programCount ? ctx->programCount * 20 : 20);
    if (allowance > 100) allowance = 100;
    int32_t r = PumpPackets(ctx, 17, 0x100000);
    if (r == TSR_ALL_PMT) {
      ok = 1;
      break;
    }
    if (r == TSR_PAT || r == TSR_PMT) {
      if (++tables > allowance) break;
    } else if (r == TSR_LIMIT) {
      if (++budgets > 10) break;
    } else if (r == TSR_SEARCH && (ctx->openFlags & 0x1000000) && ctx->acceptedCount > 0) {
      ok = 1;
      break;
    } else if (r == TSR_EOF) {
      break;
    } else if (++others > 400) {
      break;
    }
  }
  ctx->readState = saved;
  if (ok || ctx->acceptedCount > 0) {
    ctx->lastError = 0;
    ctx->errorLine = 0;
    return 1;
  }
  return TS_FAIL(ctx, -1008);
}

int32_t ts_onesegment_fallback(TsDemuxContext* ctx) {
  ctx->psiFamily = 6;
  for (int32_t pid = 0; pid < TS_PID_COUNT; ++pid) {
    PidSlot* s = ctx->pids[pid];
    if (s && s->type == 1) ts_release_slot(ctx, pid);
  }
  ts_free_programs(ctx);
  for (int32_t pid = 0x1FC8; pid <= 0x1FCF; ++pid)
    if (!RegisterSectionHandler(ctx, pid, 2, ParsePmt)) return 0;
  return CollectPsi(ctx, 0);
}

void ts_free_program_list(TsDemuxContext* ctx) {
  if (ctx->list) {
    for (int32_t i = 0; i < ctx->listCount; ++i) {
      TsdProgramListEntry* e = &ctx->list[i];
      if (e->streams) {
        for (int32_t k = 0; k < e->streamCount; ++k)
          if (e->streams[k].kind == TSD_KIND_PRIVATE) ts_free(e->streams[k].u.priv.data);
        ts_free(e->streams);
      }
    }
    ts_free(ctx->list);
  }
  ctx->list = NULL;
  ctx->listCount = 0;
}

static void fill_list_stream(TsdProgramListStream* o, const StreamInfo* si, int hasDependent) {
  memset(o, 0, sizeof(*o));
  o->kind = si->kind & KB_MASK;
  o->codec = si->codec & 0xFFFF;
  o->pid = si->pid;
  if (o->kind & TSD_KIND_VIDEO) {
    o->u.video.pid = si->pid;
    o->u.video.width = si->video.width;
    o->u.video.height = si->video.height;
    o->u.video.frameRate = si->video.frameRate;
    o->u.video.fourcc = si->video.codecTag;
    o->u.video.hasDependent = hasDependent;
  } else if (o->kind & TSD_KIND_AUDIO) {
    o->u.audio.pid = si->pid;
    o->u.audio.formatTag = si->audio.formatTag;
    o->u.audio.subKind = si->audio.subKind;
    o->u.audio.sampleRate = si->audio.sampleRate;
    o->u.audio.bitsPerSample = si->audio.bitsPerSample;
    o->u.audio.bitRate = si->audio.bitRate;
    o->u.audio.channels = si->audio.channelCount;
    memcpy(o->u.audio.language, si->language, 4);
  } else if (o->kind & (TSD_KIND_GRAPHICS | TSD_KIND_TEXT)) {
    o->u.subtitle.pid = si->pid;
    o->u.subtitle.type = si->subtitleType;
    memcpy(o->u.subtitle.language, si->language, 4);
  } else if (o->kind & TSD_KIND_PRIVATE) {
    o->u.priv.pid = si->pid;
    o->u.priv.type = si->privateType;
  }
}

int32_t BuildProgramList(TsDemuxContext* ctx) {
  ts_free_program_list(ctx);
  int32_t n = 0;
  for (ProgramEntry* p = ctx->programs; p; p = p->next)
    if (p->state & 0x1) n++;
  if (n == 0) return 1;
  ctx->list = (TsdProgramListEntry*)ts_calloc(sizeof(TsdProgramListEntry) * (size_t)n);
  if (ctx->list == NULL) goto fail;
  for (ProgramEntry* p = ctx->programs; p; p = p->next) {
    if (!(p->state & 0x1)) continue;
    int32_t m = 0;
    for (ProgramStream* st = p->first; st; st = st->next)
      if (st->info && (st->info->kind & KB_MASK) && !(st->info->kind & KB_DEPENDENT)) m++;
    if (m == 0) continue;
    TsdProgramListEntry* e = &ctx->list[ctx->listCount];
    e->streams = (TsdProgramListStream*)ts_calloc(sizeof(TsdProgramListStream) * (size_t)m);
    if (e->streams == NULL) goto fail;
    e->programNumber = p->programNumber;
    e->pmtPid = p->pmtPid;
    e->durationMs = p->durationMs;
    ctx->listCount++;
    for (ProgramStream* st = p->first; st; st = st->next) {
      StreamInfo* si = st->info;
      if (!si || !(si->kind & KB_MASK) || (si->kind & KB_DEPENDENT)) continue;
      TsdProgramListStream* o = &e->streams[e->streamCount];
      fill_list_stream(o, si, st->dependent != NULL);
      e->streamCount++;
      if ((o->kind & TSD_KIND_PRIVATE) && si->privateLen > 0 && si->privateData) {
        o->u.priv.data = (uint8_t*)ts_malloc((size_t)si->privateLen);
        if (o->u.priv.data == NULL) goto fail;
        memcpy(o->u.priv.data, si->privateData, (size_t)si->privateLen);
        o->u.priv.length = si->privateLen;
      }
    }
  }
  return 1;
fail:
  ts_free_program_list(ctx);
  ts_error(NULL, -10, __LINE__);
  return 0;
}

int32_t FillSelectionInfo(TsDemuxContext* ctx, TsdSelectionInfo* o) {
  memset(o, 0, sizeof(*o));
  ProgramEntry* p = ctx->currentProgram;
  if (p == NULL) return 1;
  o->programNumber = p->programNumber;
  o->pmtPid = p->pmtPid;
  ProgramStream* v = ctx->selected[K_VIDEO];
  if (v && v->info) {
    o->videoPid = v->pid;
    o->width = v->info->video.width;
    o->height = v->info->video.height;
    o->frameRate = v->info->video.frameRate;
    o->fourcc = v->info->video.codecTag;
    o->hasDependent = v->dependent != NULL;
    o->dvProfile = v->info->dvProfile;
    o->dvLevel = v->info->dvLevel;
  }
  ProgramStream* a = ctx->selected[K_AUDIO];
  if (a && a->info) {
    o->audioPid = a->pid;
    o->formatTag = a->info->audio.formatTag;
    o->subKind = a->info->audio.subKind;
    o->sampleRate = a->info->audio.sampleRate;
    o->bitsPerSample = a->info->audio.bitsPerSample;
    o->bitRate = a->info->audio.bitRate;
    o->channels = a->info->audio.channelCount;
    memcpy(o->audioLanguage, a->info->language, 4);
  }
  ProgramStream* g = ctx->selected[K_GRAPHICS];
  if (g && g->info) {
    o->graphicsPid = g->pid;
    o->graphicsType = g->info->subtitleType;
    memcpy(o->graphicsLanguage, g->info->language, 4);
  }
  ProgramStream* t = ctx->selected[K_TEXT];
  if (t && t->info) {
    o->textPid = t->pid;
    o->textType = t->info->subtitleType;
    memcpy(o->textLanguage, t->info->language, 4);
  }
  if (ctx->selected[K_PRIVATE]) o->privatePid = ctx->selected[K_PRIVATE]->pid;
  o->durationMs = p->durationMs;
  return 1;
}
