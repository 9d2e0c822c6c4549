/* SPDX-License-Identifier: GPL-3.0-or-later */
/* Declarations of the pass-through libintl in intl.c. */
#ifndef LIBINTL_STUB_H
#define LIBINTL_STUB_H
#include <locale.h>
#ifndef LC_MESSAGES
#define LC_MESSAGES 1729
#endif
#ifdef __cplusplus
extern "C" {
#endif
char *gettext(const char *msgid);
char *dgettext(const char *domain, const char *msgid);
char *dcgettext(const char *domain, const char *msgid, int category);
char *ngettext(const char *s, const char *p, unsigned long n);
char *dngettext(const char *d, const char *s, const char *p, unsigned long n);
char *dcngettext(const char *d, const char *s, const char *p, unsigned long n, int c);
char *textdomain(const char *domain);
char *bindtextdomain(const char *domain, const char *dir);
char *bind_textdomain_codeset(const char *domain, const char *codeset);
#ifdef __cplusplus
}
#endif
#endif
