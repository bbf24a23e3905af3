// Rate of the blend kernel (BlendRows) on the 2048 x 2048 RGBA picture,
// against a plain scalar loop of the same formula.
#pragma once

#include <string>

void PrintBlendRate(const std::string& rgbaPicturePath, int rounds);
