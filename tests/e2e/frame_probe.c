/* Preloaded into the Linux card by its end-to-end runs, never part of the card: every 25 presented frames
 * it rewrites the count into the file named by CARD_PROBE_FILE (whole, through a rename, so a reader never
 * sees half), and adds each frame's clear colour (red, green) to CARD_PROBE_CLEAR. With CARD_PROBE_LEAK set
 * it leaks that many bytes once, in window_swap. */
#define _GNU_SOURCE
#include <GL/gl.h>
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
    static FILE *clear_log;  /* line-buffered, for the case to wait on */
    if (frames == 0 && getenv("CARD_PROBE_CLEAR") && (clear_log = fopen(getenv("CARD_PROBE_CLEAR"), "w")))
        setvbuf(clear_log, NULL, _IOLBF, 0);
    GLfloat colour[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, colour);
    if (clear_log)
        fprintf(clear_log, "%.9g %.9g\n", colour[0], colour[1]);
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
