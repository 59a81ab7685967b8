// The one translation unit that holds stb_image's decoder. Only PNG is built
// in: the card's pictures are PNG, and any other format is refused.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>
