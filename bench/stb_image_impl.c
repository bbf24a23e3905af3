// stb_image's implementation, PNG only, compiled without the project's
// warning flags since it is not our code.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#include <stb/stb_image.h>
