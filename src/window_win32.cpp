// The card's window, messages, main loop and music on Win32: a window of
// class "OpenGL" with a GDI pixel format (and a palette where the display
// needs one), a WGL context, a polling loop and a Video for Windows media
// player for the tune.
#include "card.h"
#include "window.h"

#include <cstdlib>
#include <vfw.h>

static const char CLASS_NAME[] = "OpenGL";
static const DWORD WINDOW_STYLE = WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
// WS_CHILD | WS_VISIBLE | MCIWNDF_NOPLAYBAR | MCIWNDF_NOTIFYMODE
static const DWORD PLAYER_STYLE = 0x50000102;
// Clears WS_CAPTION, WS_SYSMENU, WS_THICKFRAME, WS_MINIMIZEBOX, WS_MAXIMIZEBOX.
static const LONG PLAYER_FRAME_MASK = (LONG)0xFF30FFFF;
static const WPARAM ESCAPE_CHARACTER = 27;
static const int MAX_PALETTE_ENTRIES = 256;

// A fatal start-up error: the message box for the user, and the same text
// on standard error, which shows even where no box can.
static HWND fail_window(const char *text)
{
    DWORD error = GetLastError();
    if (error)
        fprintf(stderr, "%s (Windows error %lu)\n", text, (unsigned long)error);
    else
        fprintf(stderr, "%s\n", text);
    MessageBoxA(NULL, text, "Error", MB_OK);
    return NULL;
}

static void fill_palette_ramp(LOGPALETTE *palette, const PIXELFORMATDESCRIPTOR &pfd)
{
    channel_layout red = {pfd.cRedBits, pfd.cRedShift};
    channel_layout green = {pfd.cGreenBits, pfd.cGreenShift};
    channel_layout blue = {pfd.cBlueBits, pfd.cBlueShift};
    for (int i = 0; i < palette->palNumEntries; i++) {
        palette_colour c = palette_ramp_entry((unsigned)i, red, green, blue);
        palette->palPalEntry[i] = PALETTEENTRY{c.red, c.green, c.blue, 0};
    }
}

// Colour-index formats keep the system colours but the first four, which
// become black, red, green and blue.
static void fill_palette_primaries(LOGPALETTE *palette)
{
    static const PALETTEENTRY primaries[4] = {
        {0, 0, 0, PC_NOCOLLAPSE}, {255, 0, 0, PC_NOCOLLAPSE},
        {0, 255, 0, PC_NOCOLLAPSE}, {0, 0, 255, PC_NOCOLLAPSE},
    };
    for (int i = 0; i < 4 && i < palette->palNumEntries; i++)
        palette->palPalEntry[i] = primaries[i];
}

static void build_palette(app_state *app, const PIXELFORMATDESCRIPTOR &pfd)
{
    int count = pfd.cColorBits >= 8 ? MAX_PALETTE_ENTRIES : 1 << pfd.cColorBits;
    LOGPALETTE *palette = (LOGPALETTE *)calloc(1, sizeof(LOGPALETTE) + count * sizeof(PALETTEENTRY));
    if (!palette)
        return;  // no palette: the card draws with the system's colours
    palette->palVersion = 0x300;
    palette->palNumEntries = (WORD)count;
    GetSystemPaletteEntries(app->hdc, 0, count, palette->palPalEntry);
    if (pfd.iPixelType == PFD_TYPE_COLORINDEX)
        fill_palette_primaries(palette);
    else
        fill_palette_ramp(palette, pfd);
    app->palette = CreatePalette(palette);
    if (app->palette) {
        SelectPalette(app->hdc, app->palette, FALSE);
        RealizePalette(app->hdc);
    }
    free(palette);
}

static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

static bool register_class(HINSTANCE instance)
{
    WNDCLASSA window_class = {};
    window_class.style = CS_OWNDC;  // the device context lives as long as the window
    window_class.lpfnWndProc = WindowProc;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconA(NULL, IDI_WINLOGO);
    window_class.hCursor = LoadCursorA(NULL, IDC_ARROW);
    window_class.lpszClassName = CLASS_NAME;
    return RegisterClassA(&window_class) != 0;
}

// Makes the card's window with a pixel format for OpenGL and, where the
// format needs one, a realised palette. Returns null after telling the user.
static HWND CreateOpenGLWindow(app_state *app, const char *title, int x, int y, int width, int height,
                               BYTE type, DWORD flags)
{
    static HINSTANCE hInstance = NULL;  // also marks the class as registered
    if (!hInstance) {
        hInstance = GetModuleHandleA(NULL);
        if (!register_class(hInstance))
            return fail_window(CARD_REGISTER_FAILED);
    }
    HWND hwnd = CreateWindowExA(0, CLASS_NAME, title, WINDOW_STYLE, x, y, width, height, NULL, NULL,
                                hInstance, NULL);
    if (!hwnd)
        return fail_window(CARD_CREATE_FAILED);
    app->hdc = GetDC(hwnd);

    PIXELFORMATDESCRIPTOR pfd = {};
    pfd.nSize = sizeof pfd;
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | flags;
    pfd.iPixelType = type;
    pfd.cColorBits = 32;
    int format = ChoosePixelFormat(app->hdc, &pfd);
    if (format == 0)
        return fail_window(CARD_CHOOSE_FAILED);
    if (!SetPixelFormat(app->hdc, format, &pfd))
        return fail_window(CARD_SET_FAILED);
    DescribePixelFormat(app->hdc, format, sizeof pfd, &pfd);
    if ((pfd.dwFlags & PFD_NEED_PALETTE) || pfd.iPixelType == PFD_TYPE_COLORINDEX)
        build_palette(app, pfd);
    return hwnd;
}

static LRESULT realize_palette(app_state *app)
{
    if (!app || !app->palette)
        return 0;
    UnrealizeObject(app->palette);
    SelectPalette(app->hdc, app->palette, FALSE);
    RealizePalette(app->hdc);
    return 1;
}

// Messages can arrive before window setup attaches the record; they then
// find no record and draw nothing.
static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    static PAINTSTRUCT ps;
    app_state *app = (app_state *)GetWindowLongPtrA(hwnd, GWLP_USERDATA);
    switch (message) {
    case WM_CREATE:
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, (LONG_PTR)((CREATESTRUCTA *)lParam)->lpCreateParams);
        return 0;
    case WM_SIZE:
        glViewport(0, 0, LOWORD(lParam), HIWORD(lParam));
        PostMessageA(hwnd, WM_PAINT, 0, 0);
        return 0;
    case WM_PAINT:
        if (app)
            gl_loop(app);
        BeginPaint(hwnd, &ps);
        EndPaint(hwnd, &ps);
        return 0;
    case WM_CLOSE:
        if (app)
            app->quit = 1;
        PostQuitMessage(0);  // the window itself goes at teardown
        return 0;
    case WM_CHAR:
        if (wParam == ESCAPE_CHARACTER)
            PostQuitMessage(0);
        return 0;
    case WM_PALETTECHANGED:
        if ((HWND)wParam == hwnd)
            break;  // our own change
        return realize_palette(app);
    case WM_QUERYNEWPALETTE:
        return realize_palette(app);
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

void window_setup(app_state *app)
{
    app->pfd_flags = CARD_PFD_DOUBLEBUFFER;
    app->pfd_type = CARD_PFD_TYPE_RGBA;
    app->hwnd = CreateOpenGLWindow(app, CARD_CAPTION, CARD_WINDOW_X, CARD_WINDOW_Y, CARD_WINDOW_WIDTH,
                                   CARD_WINDOW_HEIGHT, app->pfd_type, app->pfd_flags);
    if (!app->hwnd)
        ExitProcess(1);
    SetWindowLongPtrA(app->hwnd, GWLP_USERDATA, (LONG_PTR)app);
    app->hdc = GetDC(app->hwnd);
    app->hrc = wglCreateContext(app->hdc);
    wglMakeCurrent(app->hdc, app->hrc);
    ShowWindow(app->hwnd, SW_SHOW);
    UpdateWindow(app->hwnd);  // paints the first frame now, before the scene is set up
}

bool window_swap(app_state *app)
{
    return SwapBuffers(app->hdc) != FALSE;
}

// The tune plays in a media-player child window; a missing or unplayable
// file is reported by the player's own error box.
static void start_music(app_state *app)
{
    app->music_window = MCIWndCreateA(app->hwnd, app->instance, PLAYER_STYLE, NULL);
    SetWindowLongA(app->music_window, GWL_STYLE, GetWindowLongA(app->music_window, GWL_STYLE) & PLAYER_FRAME_MASK);
    SendMessageA(app->music_window, MCIWNDM_OPENA, 0, (LPARAM)CARD_MUSIC_PATH);
    SendMessageA(app->music_window, MCI_PLAY, 0, 0);
}

static void idle_frame(app_state *app)
{
    window_advance_pulse(app);
    gl_loop(app);
    Sleep(CARD_IDLE_PAUSE_MS);
}

// Serves every waiting message before drawing; returns on the quit message,
// on a failed get (rather than spinning on it), or when quit is set.
static void run_loop(app_state *app)
{
    bool first_idle_frame = true;
    for (;;) {
        if (PeekMessageA(&app->msg, app->hwnd, 0, 0, PM_NOREMOVE)) {
            BOOL got = GetMessageA(&app->msg, app->hwnd, 0, 0);
            if (got == 0 || got == -1)
                return;
            TranslateMessage(&app->msg);
            DispatchMessageA(&app->msg);
            continue;
        }
        idle_frame(app);
        if (window_music_due(&first_idle_frame))
            start_music(app);
        if (app->quit)
            return;
    }
}

void window_loop(app_state *app)
{
    if (!app->quit)
        run_loop(app);
    wglMakeCurrent(NULL, NULL);
    ReleaseDC(app->hwnd, app->hdc);
    wglDeleteContext(app->hrc);
    DestroyWindow(app->hwnd);  // the media player goes with it
    if (app->palette)
        DeleteObject(app->palette);
}
