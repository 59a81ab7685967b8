// A name file saved as UTF-8 (what today's editors write, Windows' Notepad
// among them), turned into the Windows-1252 bytes the card's atlas draws. A
// letter the atlas lacks becomes what the browser's page draws for a letter
// no font has: its base letter, else "?". Files that are not UTF-8 are left
// as they are.
#include "card.h"

#include <cstring>
#include <string>

// Windows-1252's characters for the bytes 0x80-0x9F (0: none).
static const char32_t WINDOWS_1252_80_9F[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178,
};

// The base letters of Latin Extended-A and -B (U+0100-U+024F) and of Latin
// Extended Additional (U+1E00-U+1EFF), as the page draws them ("*": two
// letters, in LATIN_PAIRS). Characters in the card's lettering stand for
// themselves.
static const char32_t LATIN_EXTENDED_A_B[] =
    U"AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIi**JjKkkLlLlLlL"
    U"lLlNnNnNn???OoOoOoŒœRrRrRrSsSsSsŠšTtTtTtUuUuUuUuUuUuWwYyŸZzZzŽžs"
    U"??????????????????ƒ?????????????Oo?????????????Uu???????????????"
    U"????*********AaIiOoUuUuUuUuUu?AaAaÆæ??GgKkOoOo??j***Gg??NnAaÆæØø"
    U"AaAaEeEeIiIiOoOoRrRrUuUuSsTt??Hh??????AaEeOoOoOoOoYy????????????"
    U"????????????????";
static const char32_t LATIN_EXTENDED_ADDITIONAL[] =
    U"AaBbBbBbCcDdDdDdDdDdEeEeEeEeEeFfGgHhHhHhHhHhIiIiKkKkKkLlLlLlLlMm"
    U"MmMmNnNnNnNnOoOoOoOoPpPpRrRrRrRrSsSsSsSsSsTtTtTtTtUuUuUuUuUuVvVv"
    U"WwWwWwWwWwXxXxYyZzZzZzhtwy?s????AaAaAaAaAaAaAaAaAaAaAaAaEeEeEeEe"
    U"EeEeEeEeIiIiOoOoOoOoOoOoOoOoOoOoOoOoUuUuUuUuUuUuUuYyYyYyYy??????";
static const struct {
    char32_t letter;
    char pair[3];
} LATIN_PAIRS[] = {
    {0x132, "IJ"}, {0x133, "ij"}, {0x1C4, "DZ"}, {0x1C5, "Dz"}, {0x1C6, "dz"}, {0x1C7, "LJ"}, {0x1C8, "Lj"},
    {0x1C9, "lj"}, {0x1CA, "NJ"}, {0x1CB, "Nj"}, {0x1CC, "nj"}, {0x1F1, "DZ"}, {0x1F2, "Dz"}, {0x1F3, "dz"},
};

// The byte of a character in Windows-1252, or -1.
static int windows_1252_byte(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return (int)c;
    for (int i = 0; i < 32; i++)
        if (WINDOWS_1252_80_9F[i] == c)  // c is past 0x7F, so never a gap's 0
            return 0x80 + i;
    return -1;
}

// Characters that only steer direction, joining or breaking show nothing
// (the byte-order mark among them).
static bool invisible(char32_t c)
{
    return (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) || (c >= 0x2060 && c <= 0x206F) ||
           c == 0xFEFF || c == 0x061C;
}

// Accents written as marks of their own, which the atlas cannot put on a letter.
static bool combining_mark(char32_t c)
{
    return c >= 0x300 && c <= 0x36F;
}

// Appends what the card draws for C to OUT; false where that is not C as written.
static bool append_drawable(char32_t c, std::string *out)
{
    int byte = windows_1252_byte(c);
    if (byte >= 0 || invisible(c)) {
        if (byte >= 0)
            out->push_back((char)byte);
        return true;
    }
    char32_t base = '?';
    if (c >= 0x100 && c < 0x250)
        base = LATIN_EXTENDED_A_B[c - 0x100];
    else if (c >= 0x1E00 && c < 0x1F00)
        base = LATIN_EXTENDED_ADDITIONAL[c - 0x1E00];
    else if (c >= 0xFF01 && c <= 0xFF5E)  // full-width forms of ASCII
        base = c - 0xFEE0;
    if (base == '*') {
        for (const auto &pair : LATIN_PAIRS)
            if (pair.letter == c)
                out->append(pair.pair);
    } else if (!combining_mark(c)) {
        out->push_back((char)windows_1252_byte(base));
    }
    return false;
}

// Decodes the UTF-8 sequence at S (N bytes left) into C: its length, 0 where
// it is not well formed (overlong, a surrogate, beyond U+10FFFF), or -1
// where it is cut short by the end.
static int utf8_sequence(const unsigned char *s, size_t n, char32_t *c)
{
    int length = s[0] < 0x80 ? 1 : s[0] >= 0xC2 && s[0] <= 0xDF ? 2 : s[0] >= 0xE0 && s[0] <= 0xEF ? 3
               : s[0] >= 0xF0 && s[0] <= 0xF4 ? 4 : 0;
    if (length <= 1) {
        *c = s[0];
        return length;
    }
    // The second byte's range rules out overlong forms, surrogates and code points past U+10FFFF.
    unsigned char low = s[0] == 0xE0 ? 0xA0 : s[0] == 0xF0 ? 0x90 : 0x80;
    unsigned char high = s[0] == 0xED ? 0x9F : s[0] == 0xF4 ? 0x8F : 0xBF;
    *c = s[0] & (0x7F >> length);
    for (int i = 1; i < length; i++) {
        if ((size_t)i >= n)
            return -1;
        if (s[i] < (i == 1 ? low : 0x80) || s[i] > (i == 1 ? high : 0xBF))
            return 0;
        *c = *c << 6 | (s[i] & 0x3F);
    }
    return length;
}

static bool has_byte_order_mark(const unsigned char *text, size_t size)
{
    return size >= 3 && memcmp(text, "\xEF\xBB\xBF", 3) == 0;
}

// True where the bytes are to be read as UTF-8: the byte-order mark, or well
// formed with a letter beyond ASCII. A cut file may end in half a letter.
static bool is_utf8(const unsigned char *text, size_t size, bool cut)
{
    if (has_byte_order_mark(text, size))
        return true;
    bool beyond_ascii = false;
    for (size_t at = 0; at < size;) {
        char32_t c;
        int length = utf8_sequence(text + at, size - at, &c);
        if (length == -1 && cut)
            break;
        if (length <= 0)
            return false;
        beyond_ascii = beyond_ascii || length > 1;
        at += (size_t)length;
    }
    return beyond_ascii;
}

int name_text_from_utf8(char *text, int32_t *size, bool cut)
{
    const unsigned char *bytes = (const unsigned char *)text;
    if (!is_utf8(bytes, (size_t)*size, cut))
        return -1;
    std::string drawn;
    int lacking = 0;
    size_t at = 0;  // the byte-order mark, U+FEFF, shows nothing
    while (at < (size_t)*size) {
        char32_t c;
        int length = utf8_sequence(bytes + at, (size_t)*size - at, &c);
        if (length == -1 && cut)
            break;  // half a letter where the file was cut
        if (length <= 0) {  // a stray byte after the byte-order mark
            drawn.push_back('?'), lacking++, at++;
            continue;
        }
        lacking += !append_drawable(c, &drawn);
        at += (size_t)length;
    }
    // Never longer than the UTF-8 it came from: each letter's bytes at most as many.
    memcpy(text, drawn.data(), drawn.size());
    *size = (int32_t)drawn.size();
    return lacking;
}
