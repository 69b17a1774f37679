/* iTunes-style metadata items, the genre table and the calendar functions. */
#include "mp4_internal.h"

#define FC(s) MP4_FOURCC((s)[0], (s)[1], (s)[2], (s)[3])

static const char* const kGenres[81] = {
  "Blues", "Classic Rock", "Country", "Dance", "Disco", "Func", "Grunge", "Hip-Hop", "Jazz", "Metal",
  "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "techno", "Industrial",
  "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro-Techno", "Ambient", "Trip-Hop",
  "Vocal", "Jazz+Funk", "Fusion", "Trance", "Classical", "Instrumental", "Acid", "House", "Game",
  "Sound Clip", "Gospel", "Noise", "AlternRock", "Bass", "Soul", "Punk", "Space", "Mediatative",
  "Instrumental Pop", "Instrumental Rock", "Ethnic", "Gothic", "Darkwave", "Techno-Industrial",
  "Electronic", "Pop-Folk", "Eurodance", "Dream", "Southern Rock", "Comedy", "Cult", "Gangsta",
  "Top 40", "Christian Rap", "Pop/Funk", "Jungle", "Native American", "Cabaret", "New Wave",
  "Psychedelic", "Rave", "Showtunes", "Trailer", "Lo-Fi", "Tribal", "Acid Punk", "Acid Jazz", "Polka",
  "Retro", "Musical", "Rock & Roll", "Hard Rock", "Unknown",
};

static int genre_is_table_text(const char* g) {
  for (int i = 0; i < 81; ++i)
    if (g == kGenres[i]) return 1;
  return 0;
}

/* Decimal text of v (at most three digits) at p; returns the end. */
static char* put_number(char* p, uint32_t v) {
  char digits[3];
  int n = 0;
  v %= 1000;
  do digits[n++] = (char)('0' + v % 10), v /= 10;
  while (v && n < 3);
  while (n) *p++ = digits[--n];
  return p;
}

static void release_text(const char** slot) {
  mp4_release((void*)*slot);
  *slot = 0;
}

/* The "data" child: its payload size and type word. The reader stands at the
 * payload afterwards. */
static int32_t data_box(Mp4Reader* r, int64_t end, int64_t* payload, uint32_t* data_type) {
  if (end - mp4_pos(r) < 8) return MP4_ERR_ITEM_SHORT;
  int64_t start, size;
  uint32_t type, locale;
  if (mp4_read_box_header(r, &start, &size, &type)) return MP4_ERR_FIELD;
  if (size == 0) return MP4_ERR_FORMAT;
  if (type != FC("data")) return 1;
  /* A data box must hold its type and locale words and stay in its item. */
  if (size < 16 || start + size > end) return MP4_ERR_FORMAT;
  int64_t header = mp4_pos(r) - start;
  if (mp4_rd32(r, data_type) || mp4_rd32(r, &locale)) return MP4_ERR_FIELD;
  *payload = size - header - 8;
  if (*payload < 0) return MP4_ERR_FORMAT;
  return 0;
}

/* Reads n payload bytes into a new block with room for a zero. */
static int32_t read_payload(Mp4Reader* r, int64_t n, uint8_t** out) {
  if (n > 0x1000000) return MP4_ERR_FORMAT;
  uint8_t* p = (uint8_t*)mp4_alloc((size_t)n + 1);
  if (!p) return MP4_ERR_TABLE_MEMORY;
  if (n && mp4_dmx_bs_read_bytes(r, p, (int32_t)n)) {
    mp4_release(p);
    return MP4_ERR_FIELD;
  }
  p[n] = 0;
  *out = p;
  return 0;
}

static const char** text_slot(Mp4Info* info, uint32_t type) {
  if (type == MP4_FOURCC(0xA9, 'n', 'a', 'm')) return &info->title;
  if (type == MP4_FOURCC(0xA9, 'A', 'R', 'T')) return &info->artist;
  if (type == MP4_FOURCC(0xA9, 'a', 'l', 'b')) return &info->album;
  if (type == FC("aART")) return &info->album_artist;
  if (type == MP4_FOURCC(0xA9, 'd', 'a', 'y')) return &info->date;
  if (type == MP4_FOURCC(0xA9, 'w', 'r', 't')) return &info->writer;
  return 0;
}

static void set_genre(Mp4Context* c, const char* text) {
  if (c->info.genre && !genre_is_table_text(c->info.genre) && c->info.genre != c->genre_number)
    mp4_release((void*)c->info.genre);
  c->info.genre = text;
}

int32_t mp4_box_item(Mp4Context* c, int64_t end, uint32_t type) {
  Mp4Reader* r = &c->readers[RD_MAIN];
  Mp4Info* info = &c->info;
  if (type == MP4_FOURCC(0xA9, 'x', 'y', 'z')) {
    uint8_t* p = 0;
    if (end - mp4_pos(r) < 22) return MP4_ERR_ITEM_SHORT;
    if (mp4_skip(r, 4)) return MP4_ERR_FIELD;
    int32_t e = read_payload(r, 18, &p);
    if (e) return e;
    p[17] = 0;
    release_text(&info->location);
    info->location = (const char*)p;
    return 0;
  }
  int64_t n;
  uint32_t data_type;
  int32_t e = data_box(r, end, &n, &data_type);
  if (e) return e > 0 ? 0 : e;
  const char** slot = text_slot(info, type);
  if (slot) {
    uint8_t* p;
    e = read_payload(r, n, &p);
    if (e) return e;
    release_text(slot);
    *slot = (const char*)p;
    return 0;
  }
  if (type == FC("covr")) {
    uint8_t* p;
    e = read_payload(r, n, &p);
    if (e) return e;
    mp4_release((void*)info->cover);
    info->cover = p;
    info->cover_length = (int32_t)n;
    return 0;
  }
  if (type == FC("gnre")) {
    uint32_t g;
    if (n < 2 || mp4_rd16(r, &g)) return MP4_ERR_FIELD;
    set_genre(c, g >= 1 && g <= 80 ? kGenres[g - 1] : kGenres[80]);
    info->genre_from_table = 1;
    return 0;
  }
  if (type == MP4_FOURCC(0xA9, 'g', 'e', 'n')) {
    if (data_type == 1) {
      uint8_t* p;
      e = read_payload(r, n, &p);
      if (e) return e;
      set_genre(c, (const char*)p);
      info->genre_from_table = 0;
    } else if (data_type == 0 && n >= 2) {
      uint32_t g;
      if (mp4_skip(r, n - 2) || mp4_rd16(r, &g)) return MP4_ERR_FIELD;
      uint32_t v = g ? g - 1 : 255;
      char digits[10];
      int k = 0;
      do digits[k++] = (char)('0' + v % 10), v /= 10;
      while (v);
      char* p = c->genre_number;
      while (k) *p++ = digits[--k];
      *p = 0;
      set_genre(c, c->genre_number);
      info->genre_from_table = 0;
    }
    return 0;
  }
  if (type == FC("cpil")) {
    uint32_t v;
    if (n != 1 || data_type != 21) return 0;
    if (mp4_rd8(r, &v)) return MP4_ERR_FIELD;
    mp4_fill(info->compilation, 0, 4);
    if (v) *put_number(info->compilation, v) = 0;
    return 0;
  }
  if (type == FC("trkn") || type == FC("disk")) {
    int is_track = type == FC("trkn");
    if (data_type != 0 || n != (is_track ? 8 : 6)) return 0;
    uint32_t a, b;
    if (mp4_skip(r, 3) || mp4_rd8(r, &a) || mp4_skip(r, 1) || mp4_rd8(r, &b)) return MP4_ERR_FIELD;
    char* p = is_track ? info->track_number : info->disc_number;
    mp4_fill(p, 0, 16);
    p = put_number(p, a);
    *p++ = '/';
    *put_number(p, b) = 0;
  }
  return 0;
}

void meta_data_close(Mp4Context* c) {
  Mp4Info* info = &c->info;
  release_text(&info->title);
  release_text(&info->artist);
  release_text(&info->album);
  release_text(&info->album_artist);
  release_text(&info->date);
  release_text(&info->writer);
  mp4_release((void*)info->cover);
  info->cover = 0;
  info->cover_length = 0;
  set_genre(c, 0);
  release_text(&info->location);
}

/* ---- calendar ---- */

static int leap(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }
static const int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
static const int kCumulative[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

void mp4_dmx_to_tm(int64_t seconds, Mp4Tm* tm) {
  int64_t days = seconds / 86400, rest = seconds % 86400;
  if (rest < 0) rest += 86400, --days;
  tm->hour = (int32_t)(rest / 3600);
  tm->min = (int32_t)(rest / 60 % 60);
  tm->sec = (int32_t)(rest % 60);
  tm->wday = (int32_t)(((days + 4) % 7 + 7) % 7);
  int64_t year = 1970;
  /* Whole 400-year cycles first, so that far-off times take no long walk. */
  year += days / 146097 * 400;
  days %= 146097;
  if (days < 0) days += 146097, year -= 400;
  while (days >= (leap(year) ? 366 : 365)) days -= leap(year) ? 366 : 365, ++year;
  tm->year = (int32_t)(year - 1900);
  tm->yday = (int32_t)days;
  int month = 0;
  for (; month < 11; ++month) {
    int len = kMonthDays[month] + (month == 1 && leap(year));
    if (days < len) break;
    days -= len;
  }
  tm->mon = month;
  tm->mday = (int32_t)days + 1;
  tm->isdst = 0;
}

int64_t mp4_dmx_tm_to_time(Mp4Tm* tm) {
  int64_t year = tm->year;
  int mon = tm->mon;
  if (mon < 0 || mon > 11) return -1;
  int len = kMonthDays[mon] + (mon == 1 && leap(year));
  if (tm->mday > len) return -1;
  int32_t yday = tm->mday - 1 + kCumulative[mon] + (mon >= 2 && leap(year));
  tm->yday = yday;
  int64_t days = year * 365 + (year - 1969) / 4 - 719050 + yday;
  return days * 86400 + (int64_t)tm->hour * 3600 + (int64_t)tm->min * 60 + tm->sec;
}

static char* two_digits(char* p, int32_t v) {
  v = ((v % 100) + 100) % 100;
  p[0] = (char)('0' + v / 10);
  p[1] = (char)('0' + v % 10);
  return p + 2;
}

const char* mp4_dmx_asc_time(const Mp4Tm* tm) {
  static char text[26];
  static const char days[] = "SunMonTueWedThuFriSat";
  static const char months[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  int wd = ((tm->wday % 7) + 7) % 7, mo = ((tm->mon % 12) + 12) % 12;
  char* p = text;
  for (int i = 0; i < 3; ++i) *p++ = days[3 * wd + i];
  *p++ = ' ';
  for (int i = 0; i < 3; ++i) *p++ = months[3 * mo + i];
  *p++ = ' ';
  p = two_digits(p, tm->mday);
  *p++ = ' ';
  p = two_digits(p, tm->hour);
  *p++ = ':';
  p = two_digits(p, tm->min);
  *p++ = ':';
  p = two_digits(p, tm->sec);
  *p++ = ' ';
  p = two_digits(p, tm->year / 100 + 19);
  p = two_digits(p, tm->year % 100);
  *p++ = '\n';
  *p = 0;
  return text;
}
