/* Preloaded into the Linux card by the soak test and the start-up benchmark,
 * never part of the card: counts presented frames, notes when the first
 * frame was presented and when the music started, and at exit the peak
 * resident memory. It rewrites the file named by CARD_PROBE_FILE. Times are
 * from the moment the probe was loaded, just before the card's main. */
#define _GNU_SOURCE
#include <SDL.h>
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static double loaded_at, first_frame_ms = -1, music_ms = -1;
static unsigned long frames;

static double now_ms(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static long status_kb(const char *field)
{
    FILE *status = fopen("/proc/self/status", "r");
    char line[256];
    long kb = -1;
    size_t length = strlen(field);
    while (status && fgets(line, sizeof line, status))
        if (strncmp(line, field, length) == 0)
            kb = strtol(line + length + 1, NULL, 10);
    if (status)
        fclose(status);
    return kb;
}

/* Written whole to a temporary file and renamed, so a reader never sees half. */
static void report(long peak_kb)
{
    const char *path = getenv("CARD_PROBE_FILE");
    if (!path)
        return;
    char temporary[4096];
    snprintf(temporary, sizeof temporary, "%s.new", path);
    FILE *out = fopen(temporary, "w");
    if (!out)
        return;
    fprintf(out, "frames %lu\nfirst_frame_ms %.1f\nmusic_ms %.1f\npeak_kb %ld\n", frames, first_frame_ms,
            music_ms, peak_kb);
    fclose(out);
    rename(temporary, path);
}

__attribute__((constructor)) static void probe_loaded(void)
{
    loaded_at = now_ms();
}

__attribute__((destructor)) static void probe_unloaded(void)
{
    report(status_kb("VmHWM:"));
}

void SDL_GL_SwapWindow(SDL_Window *window)
{
    static void (*real)(SDL_Window *);
    if (!real)
        real = (void (*)(SDL_Window *))dlsym(RTLD_NEXT, "SDL_GL_SwapWindow");
    real(window);
    frames++;
    if (frames == 1)
        first_frame_ms = now_ms() - loaded_at;
    if (frames == 1 || frames % 50 == 0)
        report(-1);
}

void SDL_PauseAudioDevice(SDL_AudioDeviceID device, int pause_on)
{
    static void (*real)(SDL_AudioDeviceID, int);
    if (!real)
        real = (void (*)(SDL_AudioDeviceID, int))dlsym(RTLD_NEXT, "SDL_PauseAudioDevice");
    real(device, pause_on);
    if (!pause_on && music_ms < 0) {
        music_ms = now_ms() - loaded_at;
        report(-1);
    }
}
