// LoadFromStream over arbitrary bytes, as the view uses it: full size, CRC
// mismatches ignored, then the sizes, the transparency mode and the blend.
// The same bytes are loaded a second time into the same image, so the Clear
// that starts every load also runs after a partial load, and the two loads
// must agree.
#include <cstddef>
#include <cstdint>

#include "tools/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    int32_t liveBefore = Obj::LiveCount();
    PngImage* image = Create<PngImage>();

    fuzz::LoadOutcome first = fuzz::LoadAndCheck(*image, data, size);
    uint64_t firstDigest = fuzz::DigestOf(*image, first);
    fuzz::ViewAfterLoad(*image);

    fuzz::LoadOutcome second = fuzz::LoadAndCheck(*image, data, size);
    fuzz::Require(second.Result == first.Result && second.Status == first.Status,
                  "a second load of the same bytes ends the same way");
    fuzz::Require(fuzz::DigestOf(*image, second) == firstDigest, "a second load decodes the same picture");
    fuzz::ViewAfterLoad(*image);

    Release(image);
    fuzz::Require(Obj::LiveCount() == liveBefore, "every object of the load was released");
    return 0;
}
