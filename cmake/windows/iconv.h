/* SPDX-License-Identifier: GPL-3.0-or-later */
/* GLib for Windows carries its own iconv (win_iconv, inside gconvert) and
   exports these three calls from libglib-2.0.a; GMime's headers include
   <iconv.h>, which mingw-w64 does not ship, so this declares them. */
#ifndef ICONV_STUB_H
#define ICONV_STUB_H
#include <stddef.h>
#ifdef __cplusplus
extern "C" {
#endif
typedef void *iconv_t;
iconv_t iconv_open(const char *tocode, const char *fromcode);
size_t iconv(iconv_t cd, char **inbuf, size_t *inleft, char **outbuf, size_t *outleft);
int iconv_close(iconv_t cd);
#ifdef __cplusplus
}
#endif
#endif
