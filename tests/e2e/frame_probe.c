/* Preloaded into the Linux card by the soak run and the leak check, never
 * part of the card: every 25 presented frames it rewrites the count into
 * the file named by CARD_PROBE_FILE (whole, through a rename, so a reader
 * never sees half). With CARD_PROBE_LEAK set it leaks that many bytes once,
 * from inside the card's window_swap, for the leak check to find. */
#define _GNU_SOURCE
#include <SDL.h>
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

void *volatile probe_leaked;

void SDL_GL_SwapWindow(SDL_Window *window)
{
    static void (*real)(SDL_Window *);
    static unsigned long frames;
    real = real ? real : (void (*)(SDL_Window *))dlsym(RTLD_NEXT, "SDL_GL_SwapWindow");
    real(window);
    if (frames == 0 && getenv("CARD_PROBE_LEAK")) {
        probe_leaked = malloc(strtoul(getenv("CARD_PROBE_LEAK"), NULL, 10));
        probe_leaked = NULL;  // nothing points at the block any more
    }
    const char *path = getenv("CARD_PROBE_FILE");
    char temporary[4096];
    if (++frames % 25 != 0 || !path || snprintf(temporary, sizeof temporary, "%s.new", path) <= 0)
        return;
    FILE *out = fopen(temporary, "w");
    if (!out)
        return;
    fprintf(out, "frames %lu\n", frames);
    if (fclose(out) == 0)
        rename(temporary, path);
}
