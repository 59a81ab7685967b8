/* Preloaded into the Linux card by the start-up benchmark, never part of
 * the card: notes when the first frame was presented, when the music started
 * (just after the first idle frame), how many frames were presented and when
 * the last was, and at exit the peak resident memory, into the file named by
 * CARD_PROBE_FILE. Times are from the moment the probe was loaded, just
 * before the card's main. */
#define _GNU_SOURCE
#include <SDL.h>
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static double loaded_at, first_frame_ms = -1, music_ms = -1, last_frame_ms = -1;
static unsigned long frames;

static double now_ms(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static long peak_kb(void)
{
    FILE *status = fopen("/proc/self/status", "r");
    char line[256];
    long kb = -1;
    while (status && fgets(line, sizeof line, status))
        if (strncmp(line, "VmHWM:", 6) == 0)
            kb = strtol(line + 6, NULL, 10);
    if (status)
        fclose(status);
    return kb;
}

__attribute__((constructor)) static void probe_loaded(void)
{
    loaded_at = now_ms();
}

__attribute__((destructor)) static void probe_unloaded(void)
{
    const char *path = getenv("CARD_PROBE_FILE");
    FILE *out = path ? fopen(path, "w") : NULL;
    if (!out)
        return;
    fprintf(out, "first_frame_ms %.1f\nmusic_ms %.1f\nframes %lu\nlast_frame_ms %.1f\npeak_kb %ld\n", first_frame_ms,
            music_ms, frames, last_frame_ms, peak_kb());
    fclose(out);
}

void SDL_GL_SwapWindow(SDL_Window *window)
{
    static void (*real)(SDL_Window *);
    if (!real)
        real = (void (*)(SDL_Window *))dlsym(RTLD_NEXT, "SDL_GL_SwapWindow");
    real(window);
    last_frame_ms = now_ms() - loaded_at;
    if (frames++ == 0)
        first_frame_ms = last_frame_ms;
}

void SDL_PauseAudioDevice(SDL_AudioDeviceID device, int pause_on)
{
    static void (*real)(SDL_AudioDeviceID, int);
    if (!real)
        real = (void (*)(SDL_AudioDeviceID, int))dlsym(RTLD_NEXT, "SDL_PauseAudioDevice");
    real(device, pause_on);
    if (!pause_on && music_ms < 0)
        music_ms = now_ms() - loaded_at;
}
