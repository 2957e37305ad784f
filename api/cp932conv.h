/* SPDX-License-Identifier: MIT */
/* The converters of varnok and dostrel as a library: CP932 to UTF-16 or UTF-8 and back, with
 * the programs' tables, letters, replacements and audit. A converter is a value made once; it
 * allocates nothing after that, and converters are independent of each other (any number, in
 * any threads, each used by one thread at a time). No function throws; errors are values. */
#ifndef CP932CONV_H
#define CP932CONV_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define CP932CONV_VERSION "1.0.0"

typedef struct cp932conv cp932conv;

enum cp932conv_direction {
  CP932CONV_DECODE = 0, /* CP932 to Unicode, as varnok */
  CP932CONV_ENCODE = 1  /* Unicode to CP932, as dostrel */
};

/* Decoding: the form written. Encoding: the form of an input without a byte order mark (a
 * mark always wins, as in dostrel). */
enum cp932conv_form { CP932CONV_UTF16BE = 0, CP932CONV_UTF16LE = 1, CP932CONV_UTF8 = 2 };

/* Status bits (cp932conv_status), as the programs' exit statuses have them. */
enum {
  CP932CONV_TRUNCATED = 2, /* the input ended inside a character */
  CP932CONV_INVALID = 4    /* an invalid byte or ill-formed UTF-8 */
};

/* What the functions return. */
enum cp932conv_result {
  CP932CONV_OK = 0,               /* all the input taken (with `final`, all output written) */
  CP932CONV_MORE_ROOM = 1,        /* the output is full: call again, with more room */
  CP932CONV_BAD_LETTER = -1,      /* a letter the direction does not have */
  CP932CONV_BAD_REPLACEMENT = -2, /* a replacement the direction and form cannot write */
  CP932CONV_BAD_ARGUMENT = -3,
  CP932CONV_NO_MEMORY = -4
};

struct cp932conv_options {
  int direction;       /* enum cp932conv_direction */
  int form;            /* enum cp932conv_form; the letters l, u (decode) and L, u (encode)
                          change it as in the programs */
  const char *letters; /* the programs' letters, such as "yd" or "-bl" ('-' is ignored); p, h
                          and ? are no letters here; NULL for none */
  int replace;         /* non-zero: `replacement` is written for what has no character
                          (decoding: a Unicode value) or no code (encoding: a CP932 code) */
  int32_t replacement; /* as the programs' p value */
};

/* One item dropped or replaced, as w reports it. */
struct cp932conv_item {
  uint64_t line, column;   /* from 1, as the programs count them */
  const char *description; /* "invalid byte 0x80", "U+00E9 has no code"... */
  uint32_t value;          /* the byte, code, unit or character it names (0 for none) */
  int replaced;            /* non-zero: the replacement was written; else it was dropped */
  uint64_t offset;         /* of its first byte from the start of the input */
  size_t length;           /* its bytes in the input */
};
typedef void (*cp932conv_audit)(void *context, const struct cp932conv_item *item);

/* Makes a converter in `*made` (NULL on failure): CP932CONV_OK or an error. */
int cp932conv_new(const struct cp932conv_options *options, cp932conv **made);

/* Reports every item dropped or replaced to `audit` from now on (NULL: none). */
void cp932conv_set_audit(cp932conv *converter, cp932conv_audit audit, void *context);

/* Converts up to `in_size` bytes at `in` into the `out_size` bytes at `out`: `*consumed` and
 * `*written` receive the bytes taken and written. A character cut by the end of the input is
 * kept and finished by the next call; with `final` non-zero the input ends here, and a
 * character still cut is reported (CP932CONV_TRUNCATED). CP932CONV_MORE_ROOM: call again with
 * the rest of the input (and `final` again) once the output has room. */
int cp932conv_convert(cp932conv *converter, const void *in, size_t in_size, size_t *consumed,
                      void *out, size_t out_size, size_t *written, int final);

/* The status bits of the current input so far. */
int cp932conv_status(const cp932conv *converter);

/* The items dropped in the current input so far (counted with or without an audit function). */
uint64_t cp932conv_dropped(const cp932conv *converter);

/* Starts a new input: status 0, nothing carried, the audit at line 1, the mark (b) again. */
void cp932conv_reset(cp932conv *converter);

void cp932conv_free(cp932conv *converter);

/* The library's version, CP932CONV_VERSION when the header matches it. */
const char *cp932conv_version(void);

#ifdef __cplusplus
}
#endif

#endif
