/* Matroska demuxer: the error record with its location trail, and the small
 * string functions the library uses in place of the system's. */

#include "mkv_internal.h"

int32_t mkv_dmx_set_last_error(int32_t code, uint32_t ignored, uint32_t extra1, uint32_t extra2,
                               const char* message, mkv_dmx_last_error_t* err) {
  uint32_t n = 0;
  (void)ignored;
  if (!message || !err) return code;
  err->code = code;
  while (message[n] && n < MKV_ERROR_TEXT_MAX) {
    err->text[n] = message[n];
    ++n;
  }
  err->text[n] = 0;
  err->length = n;
  err->extra[0] = extra1;
  err->extra[1] = extra2;
  return code;
}

int32_t mkv_dmx_add_err_string(const char* tag, mkv_dmx_last_error_t* err) {
  uint32_t n;
  if (!tag || !err) return 0;
  if (err->length > MKV_ERROR_TEXT_MAX) return 0;
  n = err->length;
  while (*tag && n < MKV_ERROR_TEXT_MAX) err->text[n++] = *tag++;
  err->text[n] = 0;
  err->length = n;
  return err->code;
}

void mkv_dmx_clear_last_error(mkv_dmx_last_error_t* err) {
  if (!err) return;
  err->code = 0;
  err->text[0] = 0;
  err->length = 0;
  err->extra[0] = err->extra[1] = 0;
}

void mkv_dmx_get_last_error(const mkv_dmx_last_error_t* err, int32_t* code, const char** text, uint32_t* extra) {
  if (!err) return;
  if (code) *code = err->code;
  if (text) *text = err->text;
  if (extra) {
    extra[0] = err->extra[0];
    extra[1] = err->extra[1];
  }
}

uint32_t mkv_dmx_strlen(const char* s) {
  uint32_t n = 0;
  while (s[n]) ++n;
  return n;
}

void mkv_dmx_strcpy(char* dst, const char* src) {
  while ((*dst++ = *src++) != 0) {
  }
}

void mkv_dmx_strcat(char* dst, const char* src) { mkv_dmx_strcpy(dst + mkv_dmx_strlen(dst), src); }

void mkv_dmx_strncpy(char* dst, const char* src, uint32_t n) {
  uint32_t i = 0;
  for (; i < n && src[i]; ++i) dst[i] = src[i];
  for (; i < n; ++i) dst[i] = 0;
}

int32_t mkv_dmx_strcmp(const char* a, const char* b) {
  while (*a && *a == *b) {
    ++a;
    ++b;
  }
  return (int32_t)(uint8_t)*a - (int32_t)(uint8_t)*b;
}

int32_t mkv_dmx_strncmp(const char* a, const char* b, uint32_t n) {
  for (; n; --n, ++a, ++b) {
    if (*a != *b || !*a) return (int32_t)(uint8_t)*a - (int32_t)(uint8_t)*b;
  }
  return 0;
}

const char* mkv_dmx_strchr(const char* s, int c) {
  for (; *s; ++s)
    if (*s == (char)c) return s;
  return 0;
}

const char* mkv_dmx_strstr(const char* s, const char* pattern) {
  if (!*pattern) return s;
  for (; *s; ++s) {
    const char* a = s;
    const char* b = pattern;
    while (*a && *b && *a == *b) {
      ++a;
      ++b;
    }
    if (!*b) return s;
  }
  return 0;
}

int mkv_dmx_toupper(int c) { return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c; }
