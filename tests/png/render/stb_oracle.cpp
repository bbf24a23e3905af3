// The independent decoder that the PngSuite drawing test compares against.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO_REDEFINE
#include <stb_image.h>
