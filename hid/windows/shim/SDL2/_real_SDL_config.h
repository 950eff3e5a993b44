/* Debian's SDL_config.h points into a multiarch directory mingw-w64 cannot see: SDL's own platform test and the C library suffice for the event types. */
#include "SDL_platform.h"
#define STDC_HEADERS 1
#define HAVE_STDINT_H 1
