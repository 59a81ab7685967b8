/* Preloaded into the Linux card by the soak run, never part of the card:
 * every 25 presented frames it rewrites the count into the file named by
 * CARD_PROBE_FILE (whole, through a rename, so a reader never sees half). */
#define _GNU_SOURCE
#include <SDL.h>
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

void SDL_GL_SwapWindow(SDL_Window *window)
{
    static void (*real)(SDL_Window *);
    static unsigned long frames;
    real = real ? real : (void (*)(SDL_Window *))dlsym(RTLD_NEXT, "SDL_GL_SwapWindow");
    real(window);
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
