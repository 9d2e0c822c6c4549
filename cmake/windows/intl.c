/* SPDX-License-Identifier: GPL-3.0-or-later */
/* GLib wants a libintl even with translations off; the messages pass
   through unchanged, which is all a build with -Dnls=disabled asks of it. */
#include "libintl.h"
char *gettext(const char *m) { return (char *)m; }
char *dgettext(const char *d, const char *m) { (void)d; return (char *)m; }
char *dcgettext(const char *d, const char *m, int c) { (void)d; (void)c; return (char *)m; }
char *ngettext(const char *s, const char *p, unsigned long n) { return (char *)(n == 1 ? s : p); }
char *dngettext(const char *d, const char *s, const char *p, unsigned long n) { (void)d; return (char *)(n == 1 ? s : p); }
char *dcngettext(const char *d, const char *s, const char *p, unsigned long n, int c) { (void)d; (void)c; return (char *)(n == 1 ? s : p); }
char *textdomain(const char *d) { return (char *)(d ? d : "messages"); }
char *bindtextdomain(const char *d, const char *dir) { (void)d; return (char *)dir; }
char *bind_textdomain_codeset(const char *d, const char *c) { (void)d; return (char *)c; }
