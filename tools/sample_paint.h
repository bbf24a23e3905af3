// A tiny floating-point painter for the sample pictures: shapes given as
// signed distance functions, anti-aliased by their distance, composited
// "over" in premultiplied RGBA, plus a box-blurred drop shadow and a PNG
// writer. Only make_samples uses it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct Vec2 {
    float X = 0, Y = 0;
};

// Straight (not premultiplied) colour, each channel 0..1.
struct Rgba {
    float R = 0, G = 0, B = 0, A = 1;
};

Rgba Mix(const Rgba& a, const Rgba& b, float t);

// Signed distances in pixels: negative inside, positive outside.
float CircleDistance(Vec2 p, Vec2 centre, float radius);
float EllipseDistance(Vec2 p, Vec2 centre, float radiusX, float radiusY, float angle);
float BoxDistance(Vec2 p, Vec2 centre, Vec2 half, float cornerRadius);
float SegmentDistance(Vec2 p, Vec2 a, Vec2 b, float halfWidth);
// A ring of the given radius and half thickness, kept only where x >= centre.x.
float HalfRingDistance(Vec2 p, Vec2 centre, float radius, float halfWidth);

using Shape = std::function<float(Vec2)>;
using Fill = std::function<Rgba(Vec2)>;

class Layer {
public:
    Layer(int width, int height);

    int Width() const { return width; }
    int Height() const { return height; }

    // Composites fill over the layer wherever shape covers a pixel; softness
    // is the width in pixels of the edge ramp (1 gives a crisp, smooth edge).
    void Paint(const Shape& shape, const Fill& fill, float softness = 1.0f);
    void Paint(const Shape& shape, const Rgba& colour, float softness = 1.0f);
    // Composites another layer of the same size over this one.
    void Over(const Layer& top);
    // Composites top's silhouette, blurred and offset, in colour under nothing:
    // call it before Over(top) to give top a drop shadow.
    void Shadow(const Layer& top, int dx, int dy, int radius, const Rgba& colour);

    // Straight colour of pixel (x, y).
    Rgba At(int x, int y) const;

private:
    int width;
    int height;
    std::vector<float> premultiplied;  // R, G, B, A per pixel

    void Blend(int index, const Rgba& colour, float coverage);
};

struct PngPlan {
    int BitDepth = 8;
    int ColorType = 6;  // PNG colour type
    bool Interlaced = false;
    std::vector<Rgba> Palette;  // colour type 3 only; alpha goes to tRNS
};

// Converts the layer as the plan says and writes it; false on any failure.
bool WritePicture(const std::string& path, const Layer& layer, const PngPlan& plan);

// One frame of an animation: its picture covers the region at (X, Y) of the
// canvas; the first frame is the whole canvas at the origin.
struct AnimationFrame {
    Layer Picture;
    int X = 0, Y = 0;
    uint16_t DelayMs = 100;
    uint8_t Dispose = 0;  // 0 none, 1 background, 2 previous
    uint8_t Blend = 0;    // 0 source, 1 over
};

// An animated PNG whose default image is the first frame; plays 0 loops for ever.
bool WriteAnimation(const std::string& path, const std::vector<AnimationFrame>& frames, const PngPlan& plan,
                    uint32_t plays);
