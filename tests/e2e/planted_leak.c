/* Linked only into a test build of the card (-Wl,--wrap=SDL_GL_SwapWindow)
 * to show that the leak check catches a leak of the card's own: presenting
 * the first frame leaks 24 bytes, from inside the card's window_swap. */
#include <SDL.h>
#include <stdlib.h>

void __real_SDL_GL_SwapWindow(SDL_Window *window);

void __wrap_SDL_GL_SwapWindow(SDL_Window *window)
{
    static void *volatile planted;
    static int done;
    if (!done++)
        planted = malloc(24), planted = NULL;
    __real_SDL_GL_SwapWindow(window);
}
