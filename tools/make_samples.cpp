// make_samples [DIR]: paints the six demonstration pictures the plug-in view
// cycles through and writes them into DIR (default "samples"). Everything is
// drawn from code, so the output is the same on every run. Each picture takes
// a different path through the decoder and the renderer:
//   gauntlet_woman.png   RGBA 8, soft edges and a drop shadow (alpha blend)
//   ms34.png             palette with several partial tRNS alphas (alpha blend)
//   ico_podium_kbz1.png  grey with alpha
//   kbz logo.png         RGBA 8, Adam7 interlaced, a translucent plate
//   music.png            RGBA 16 bits per sample, animated: seven frames for
//                        ever, with both blends and all three disposes
//   bg.png               opaque RGB (colour-key path; it holds no pure black)
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/sample_paint.h"

namespace {

Rgba Hex(uint32_t rgb, float alpha = 1.0f)
{
    return {((rgb >> 16) & 255) / 255.0f, ((rgb >> 8) & 255) / 255.0f, (rgb & 255) / 255.0f, alpha};
}

// A vertical colour ramp between two rows.
Fill VerticalRamp(Rgba top, Rgba bottom, float y0, float y1)
{
    return [=](Vec2 p) { return Mix(top, bottom, (p.Y - y0) / (y1 - y0)); };
}

Shape Union(std::vector<Shape> parts)
{
    return [parts](Vec2 p) {
        float d = 1e9f;
        for (const Shape& part : parts)
            d = std::min(d, part(p));
        return d;
    };
}

// A seven-segment digit (segments a to g as bits 0 to 6) centred at c.
Shape Digit(int digit, Vec2 c, float width, float height, float halfWidth)
{
    static constexpr std::array<uint8_t, 10> kSegments = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
    const float x0 = c.X - width / 2, x1 = c.X + width / 2;
    const float y0 = c.Y - height / 2, y1 = c.Y + height / 2, ym = c.Y;
    const std::array<std::array<Vec2, 2>, 7> ends = {{{{{x0, y0}, {x1, y0}}}, {{{x1, y0}, {x1, ym}}},
                                                      {{{x1, ym}, {x1, y1}}}, {{{x0, y1}, {x1, y1}}},
                                                      {{{x0, ym}, {x0, y1}}}, {{{x0, y0}, {x0, ym}}},
                                                      {{{x0, ym}, {x1, ym}}}}};
    std::vector<Shape> parts;
    for (int s = 0; s < 7; ++s)
        if (kSegments[digit] & (1 << s))
            parts.push_back([a = ends[s][0], b = ends[s][1], halfWidth](Vec2 p) {
                return SegmentDistance(p, a, b, halfWidth);
            });
    return Union(parts);
}

Shape Segment(Vec2 a, Vec2 b, float halfWidth)
{
    return [=](Vec2 p) { return SegmentDistance(p, a, b, halfWidth); };
}

Shape Circle(Vec2 c, float r)
{
    return [=](Vec2 p) { return CircleDistance(p, c, r); };
}

Shape Box(Vec2 c, Vec2 half, float corner)
{
    return [=](Vec2 p) { return BoxDistance(p, c, half, corner); };
}

Shape Ellipse(Vec2 c, float rx, float ry, float angle)
{
    return [=](Vec2 p) { return EllipseDistance(p, c, rx, ry, angle); };
}

// A woman in a tunic raising an armoured fist, with a halo behind her.
Layer GauntletWoman()
{
    Layer figure(300, 340);
    const Rgba skin = Hex(0xE8B48F), hair = Hex(0x7A2E1E), tunic = Hex(0x1F8A8A), steel = Hex(0xDFE6EE);
    figure.Paint(Ellipse({150, 78}, 42, 50, 0), hair);
    figure.Paint(Box({150, 128}, {10, 14}, 4), skin);
    figure.Paint(Segment({132, 262}, {122, 322}, 13), Hex(0x2C3E66));
    figure.Paint(Segment({168, 262}, {178, 322}, 13), Hex(0x2C3E66));
    figure.Paint(Box({118, 326}, {20, 9}, 6), Hex(0x4A2C1A));
    figure.Paint(Box({182, 326}, {20, 9}, 6), Hex(0x4A2C1A));
    figure.Paint(Segment({104, 160}, {84, 244}, 11), Hex(0x176B6B));
    figure.Paint(Circle({82, 252}, 11), skin);
    figure.Paint(Box({150, 200}, {46, 62}, 22), VerticalRamp(tunic, Hex(0x125454), 138, 262));
    figure.Paint(Box({150, 238}, {44, 7}, 3), Hex(0xE0B040));
    figure.Paint(Circle({150, 182}, 13), Hex(0xE0B040));
    figure.Paint(Circle({150, 182}, 7), tunic);
    figure.Paint(Segment({196, 158}, {232, 104}, 11), Hex(0x176B6B));
    figure.Paint(Segment({234, 100}, {250, 58}, 17), VerticalRamp(steel, Hex(0x7D8A99), 40, 110));
    figure.Paint(Circle({253, 46}, 19), VerticalRamp(steel, Hex(0x8D99A8), 27, 65));
    figure.Paint(Segment({244, 88}, {256, 50}, 3), Hex(0xFFFFFF, 0.6f));
    figure.Paint(Ellipse({150, 80}, 30, 36, 0), VerticalRamp(skin, Hex(0xD89A74), 44, 116));
    figure.Paint(Ellipse({150, 54}, 33, 19, 0), VerticalRamp(Hex(0x9A4030), hair, 35, 73));
    figure.Paint(Circle({139, 82}, 3), Hex(0x2B2B40));
    figure.Paint(Circle({161, 82}, 3), Hex(0x2B2B40));
    figure.Paint(Segment({143, 100}, {157, 100}, 1.6f), Hex(0xB0554A));

    Layer picture(300, 340);
    picture.Paint(Circle({150, 120}, 110), [](Vec2 p) {
        const float d = std::hypot(p.X - 150, p.Y - 120) / 110;
        return Hex(0xFFD870, 0.45f * (1 - d));
    });
    picture.Shadow(figure, 10, 12, 6, Hex(0x000000, 0.5f));
    picture.Over(figure);
    return picture;
}

// A round badge with a glow and the number 34, meant for a palette.
Layer Badge()
{
    Layer badge(240, 240);
    const Vec2 centre{120, 120};
    badge.Paint(Circle(centre, 118), [centre](Vec2 p) {
        const float d = std::hypot(p.X - centre.X, p.Y - centre.Y);
        return Hex(0x5AD1FF, 0.75f * std::clamp((118 - d) / 22, 0.0f, 1.0f));
    });
    badge.Paint(Circle(centre, 96), [](Vec2 p) {
        return Mix(Hex(0x2F6FD6), Hex(0x0B2A6B), (p.X + p.Y - 48) / 384);
    });
    badge.Paint([centre](Vec2 p) { return std::abs(CircleDistance(p, centre, 90)) - 3; }, Hex(0xDFE8F5));
    const Fill gold = VerticalRamp(Hex(0xFFD54A), Hex(0xFF8D2E), 75, 165);
    badge.Paint(Digit(3, {90, 120}, 44, 88, 7), gold);
    badge.Paint(Digit(4, {152, 120}, 44, 88, 7), gold);
    return badge;
}

// Transparent and translucent entries first, so that tRNS stays short.
std::vector<Rgba> BadgePalette()
{
    std::vector<Rgba> palette = {Hex(0x000000, 0.0f)};
    for (int i = 1; i <= 8; ++i)
        palette.push_back(Hex(0x5AD1FF, 0.75f * i / 8));
    for (int i = 0; i < 28; ++i)
        palette.push_back(Mix(Hex(0x2F6FD6), Hex(0x0B2A6B), i / 27.0f));
    for (int i = 0; i < 4; ++i)
        palette.push_back(Mix(Hex(0xDFE8F5), Hex(0x1E4EA0), i / 4.0f));
    for (int i = 0; i < 16; ++i)
        palette.push_back(Mix(Hex(0xFFD54A), Hex(0xFF8D2E), i / 15.0f));
    for (int i = 1; i < 4; ++i)
        palette.push_back(Mix(Hex(0xFFB03C), Hex(0x1E4EA0), i / 4.0f));
    return palette;
}

// A winners' podium with a medal, drawn in greys for the grey-alpha format.
Layer Podium()
{
    Layer podium(280, 220);
    const Rgba light = Hex(0xF2F2F2), dark = Hex(0x8C8C8C), ink = Hex(0x3A3A3A);
    podium.Paint(Box({53, 168}, {43, 38}, 4), VerticalRamp(light, dark, 130, 206));
    podium.Paint(Box({227, 179}, {43, 27}, 4), VerticalRamp(light, dark, 152, 206));
    podium.Paint(Box({140, 153}, {44, 53}, 4), VerticalRamp(Hex(0xFFFFFF), dark, 100, 206));
    podium.Paint(Digit(2, {53, 168}, 18, 34, 3.5f), ink);
    podium.Paint(Digit(1, {140, 150}, 18, 34, 3.5f), ink);
    podium.Paint(Digit(3, {227, 179}, 18, 30, 3.5f), ink);
    podium.Paint(Segment({124, 10}, {134, 44}, 6), Hex(0x6A6A6A));
    podium.Paint(Segment({156, 10}, {146, 44}, 6), Hex(0x6A6A6A));
    podium.Paint(Circle({140, 64}, 24), VerticalRamp(Hex(0xFAFAFA), Hex(0xA0A0A0), 40, 88));
    podium.Paint(Circle({140, 64}, 15), Hex(0xBDBDBD));
    podium.Paint(Digit(1, {140, 64}, 8, 16, 2), ink);

    Layer picture(280, 220);
    picture.Paint(Ellipse({140, 206}, 136, 9, 0), Hex(0x000000, 0.4f), 12);
    picture.Shadow(podium, 8, 8, 6, Hex(0x000000, 0.55f));
    picture.Over(podium);
    return picture;
}

Shape LogoLetters()
{
    constexpr float w = 8;
    return Union({Segment({70, 50}, {70, 130}, w), Segment({72, 94}, {112, 50}, w), Segment({84, 80}, {114, 130}, w),
                  Segment({150, 50}, {150, 130}, w), Segment({150, 50}, {170, 50}, w),
                  Segment({150, 90}, {174, 90}, w), Segment({150, 130}, {174, 130}, w),
                  [](Vec2 p) { return HalfRingDistance(p, {170, 70}, 20, w); },
                  [](Vec2 p) { return HalfRingDistance(p, {174, 110}, 20, w); },
                  Segment({220, 50}, {280, 50}, w), Segment({280, 50}, {220, 130}, w),
                  Segment({220, 130}, {284, 130}, w)});
}

// A translucent gradient plate with raised letters and a sparkle.
Layer Logo()
{
    Layer plate(360, 180);
    plate.Paint(Box({180, 90}, {168, 78}, 30),
                [](Vec2 p) { return Mix(Hex(0x6A2CC4, 0.82f), Hex(0xFF7A3D, 0.82f), (p.X - 12) / 336); });
    plate.Paint([](Vec2 p) { return std::abs(BoxDistance(p, {180, 90}, {160, 70}, 24)) - 2; },
                Hex(0xFFFFFF, 0.7f));
    Layer letters(360, 180);
    letters.Paint(LogoLetters(), VerticalRamp(Hex(0xFFFFFF), Hex(0xFFE6C8), 42, 138));
    plate.Shadow(letters, 4, 4, 3, Hex(0x000000, 0.5f));
    plate.Over(letters);
    plate.Paint(Circle({312, 44}, 16), [](Vec2 p) {
        return Hex(0xFFFFFF, 0.5f * std::clamp(1 - std::hypot(p.X - 312, p.Y - 44) / 16, 0.0f, 1.0f));
    });
    plate.Paint(Circle({312, 44}, 4), Hex(0xFFFFFF));

    Layer picture(360, 180);
    picture.Shadow(plate, 6, 8, 5, Hex(0x000000, 0.45f));
    picture.Over(plate);
    return picture;
}

// Two beamed quavers in a smooth gradient with a coloured glow, lifted by
// lift pixels; the ramp is where the 16-bit samples earn their keep.
Layer Music(float lift = 0)
{
    Layer notes(240, 240);
    const Fill ramp = [](Vec2 p) { return Mix(Hex(0x4B1F8F), Hex(0xFF4F9A), (p.X + 240 - p.Y) / 420); };
    const auto at = [lift](float x, float y) { return Vec2{x, y - lift}; };
    notes.Paint(Union({Ellipse(at(78, 184), 26, 18, -0.45f), Ellipse(at(170, 162), 26, 18, -0.45f),
                       Segment(at(101, 178), at(101, 56), 5), Segment(at(193, 156), at(193, 34), 5),
                       Segment(at(101, 60), at(193, 38), 12), Segment(at(101, 90), at(193, 68), 8)}),
                ramp);
    notes.Paint(Ellipse(at(70, 178), 9, 5, -0.45f), Hex(0xFFFFFF, 0.5f), 3);
    notes.Paint(Ellipse(at(162, 156), 9, 5, -0.45f), Hex(0xFFFFFF, 0.5f), 3);

    Layer picture(240, 240);
    picture.Shadow(notes, 0, 0, 7, Hex(0xFF7AD8, 0.9f));
    picture.Over(notes);
    return picture;
}

// A four-pointed star with a soft halo, 40 x 40.
Layer Sparkle()
{
    Layer star(40, 40);
    star.Paint(Circle({20, 20}, 14), [](Vec2 p) {
        return Hex(0xFFF4FF, 0.6f * std::clamp(1 - std::hypot(p.X - 20, p.Y - 20) / 14, 0.0f, 1.0f));
    });
    star.Paint(Union({Segment({20, 3}, {20, 37}, 1.5f), Segment({3, 20}, {37, 20}, 1.5f)}), Hex(0xFFFFFF, 0.9f));
    return star;
}

// The notes bob up and down while sparkles come and go: every blend and
// dispose of an animation. Each sparkle is composed over the notes; the
// first goes with dispose "previous", the second with "background" (its
// corner holds nothing of the notes), the third with "previous" again.
std::vector<AnimationFrame> MusicFrames()
{
    return {
        {Music(0), 0, 0, 160, 0, 0},  {Sparkle(), 186, 14, 160, 2, 1}, {Music(6), 0, 0, 160, 0, 0},
        {Sparkle(), 8, 20, 160, 1, 1}, {Music(10), 0, 0, 160, 0, 0},   {Sparkle(), 192, 192, 160, 2, 1},
        {Music(6), 0, 0, 160, 0, 0},
    };
}

// An evening landscape filling the whole view, fully opaque.
Layer Landscape()
{
    Layer land(480, 360);
    land.Paint([](Vec2) { return -1.0f; }, VerticalRamp(Hex(0x2E5FA8), Hex(0xF3C58F), 0, 240));
    land.Paint(Circle({360, 150}, 120), [](Vec2 p) {
        return Hex(0xFFE7B0, 0.5f * std::clamp(1 - std::hypot(p.X - 360, p.Y - 150) / 120, 0.0f, 1.0f));
    });
    land.Paint(Circle({360, 150}, 40), Hex(0xFFF1C4));
    land.Paint([](Vec2 p) { return 220 + 18 * std::sin(p.X / 50) - p.Y; }, Hex(0x4F7F6A));
    land.Paint([](Vec2 p) { return 262 + 26 * std::sin(p.X / 70 + 1) - p.Y; },
               VerticalRamp(Hex(0x3C7052), Hex(0x2F5D45), 230, 300));
    land.Paint([](Vec2 p) { return 300 - p.Y; }, VerticalRamp(Hex(0x4A80B0), Hex(0x2C5A86), 300, 360));
    for (int i = 0; i < 5; ++i) {
        const float y = 310 + i * 10, half = 34 - i * 6;
        land.Paint(Segment({360 - half, y}, {360 + half, y}, 1.5f), Hex(0xFFF1C4, 0.55f));
    }
    return land;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string dir = argc > 1 ? argv[1] : "samples";
    struct Job {
        const char* Name;
        Layer Picture;
        PngPlan Plan;
        std::vector<AnimationFrame> Frames = {};  // an animation in place of Picture
    };
    std::vector<Job> jobs;
    jobs.push_back({"gauntlet_woman.png", GauntletWoman(), {8, 6, false, {}}});
    jobs.push_back({"ms34.png", Badge(), {8, 3, false, BadgePalette()}});
    jobs.push_back({"ico_podium_kbz1.png", Podium(), {8, 4, false, {}}});
    jobs.push_back({"kbz logo.png", Logo(), {8, 6, true, {}}});
    jobs.push_back({"music.png", Layer(1, 1), {16, 6, false, {}}, MusicFrames()});
    jobs.push_back({"bg.png", Landscape(), {8, 2, false, {}}});
    int failures = 0;
    for (const Job& job : jobs) {
        const std::string path = dir + "/" + job.Name;
        const bool written = job.Frames.empty() ? WritePicture(path, job.Picture, job.Plan)
                                                : WriteAnimation(path, job.Frames, job.Plan, 0);
        if (written) {
            std::printf("%s\n", path.c_str());
        } else {
            std::fprintf(stderr, "make_samples: cannot write %s\n", path.c_str());
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
