// An animation over arbitrary bytes, played as the view plays it: the
// structure walk, then frame after frame through two plays. Every frame
// shown must lie inside the canvas, a frame that cannot be decoded must
// leave the canvas as it was, and a second animation over the same bytes
// must compose the same canvases.
#include <cstddef>
#include <cstdint>

#include "png/animation/animation.h"
#include "tools/fuzz/fuzz_support.h"
#include "winlayer/base/memory_stream.h"

namespace {

// Frames composed per input: two plays of short animations, the first
// frames of long ones.
constexpr int32_t kMostFrames = 48;

uint64_t CanvasDigest(const PngAnimation& animation)
{
    fuzz::LoadOutcome outcome{true, PngStatus::Ok};
    return fuzz::DigestOf(*animation.Canvas, outcome);
}

// The digest of every canvas shown, folded together; 0 for a refused file.
uint64_t Play(const uint8_t* data, size_t size)
{
    PngAnimation* animation = Create<PngAnimation>();
    if (!animation)
        return 0;
    uint64_t digest = 0;
    if (animation->Open(OpenMemoryStream(data, size))) {
        const AnimationLayout& layout = animation->Layout;
        fuzz::Require(layout.FrameCount > 0, "an animation has a frame");
        for (int32_t n = 0; n < kMostFrames; ++n) {
            const FrameControl& f = animation->Current;
            fuzz::Require(f.Width > 0 && f.Height > 0 && f.X >= 0 && f.Y >= 0 &&
                              int64_t{f.X} + f.Width <= layout.CanvasWidth &&
                              int64_t{f.Y} + f.Height <= layout.CanvasHeight,
                          "a frame lies inside the canvas");
            fuzz::Require(animation->FrameIndex < static_cast<int32_t>(layout.FrameCount),
                          "no frame beyond the count");
            const uint64_t shown = CanvasDigest(*animation);
            digest = digest * 1099511628211u ^ shown;
            if (!animation->NextFrame()) {
                fuzz::Require(animation->Refusal != nullptr, "a frame that failed says why");
                fuzz::Require(CanvasDigest(*animation) == shown, "a frame that failed leaves the canvas");
                break;
            }
        }
    } else {
        fuzz::Require(animation->Refusal != nullptr, "a refused animation says why");
    }
    Release(animation);
    return digest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const int32_t liveBefore = Obj::LiveCount();
    const uint64_t first = Play(data, size);
    fuzz::Require(Play(data, size) == first, "a second play of the same bytes shows the same canvases");
    fuzz::Require(Obj::LiveCount() == liveBefore, "every object of the play was released");
    return 0;
}
