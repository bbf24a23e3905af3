#include "tools/sample_paint.h"

#include <algorithm>
#include <cmath>

Rgba Mix(const Rgba& a, const Rgba& b, float t)
{
    t = std::clamp(t, 0.0f, 1.0f);
    return {a.R + (b.R - a.R) * t, a.G + (b.G - a.G) * t, a.B + (b.B - a.B) * t, a.A + (b.A - a.A) * t};
}

float CircleDistance(Vec2 p, Vec2 centre, float radius)
{
    return std::hypot(p.X - centre.X, p.Y - centre.Y) - radius;
}

float EllipseDistance(Vec2 p, Vec2 centre, float radiusX, float radiusY, float angle)
{
    // Rotate into the ellipse's frame and scale to a unit circle; the
    // distance is then only approximate, which is plenty for an edge ramp.
    const float c = std::cos(angle), s = std::sin(angle);
    const float x = (p.X - centre.X) * c + (p.Y - centre.Y) * s;
    const float y = -(p.X - centre.X) * s + (p.Y - centre.Y) * c;
    const float k = std::hypot(x / radiusX, y / radiusY);
    return (k - 1.0f) * std::min(radiusX, radiusY);
}

float BoxDistance(Vec2 p, Vec2 centre, Vec2 half, float cornerRadius)
{
    const float qx = std::abs(p.X - centre.X) - half.X + cornerRadius;
    const float qy = std::abs(p.Y - centre.Y) - half.Y + cornerRadius;
    const float outside = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f));
    return outside + std::min(std::max(qx, qy), 0.0f) - cornerRadius;
}

float SegmentDistance(Vec2 p, Vec2 a, Vec2 b, float halfWidth)
{
    const float abx = b.X - a.X, aby = b.Y - a.Y;
    const float apx = p.X - a.X, apy = p.Y - a.Y;
    const float t = std::clamp((apx * abx + apy * aby) / (abx * abx + aby * aby), 0.0f, 1.0f);
    return std::hypot(apx - abx * t, apy - aby * t) - halfWidth;
}

float HalfRingDistance(Vec2 p, Vec2 centre, float radius, float halfWidth)
{
    const float ring = std::abs(CircleDistance(p, centre, radius)) - halfWidth;
    return std::max(ring, centre.X - p.X);
}

Layer::Layer(int width, int height) : width(width), height(height), premultiplied(size_t(width) * height * 4, 0.0f) {}

void Layer::Blend(int index, const Rgba& colour, float coverage)
{
    const float a = std::clamp(colour.A * coverage, 0.0f, 1.0f);
    float* d = &premultiplied[size_t(index) * 4];
    d[0] = colour.R * a + d[0] * (1 - a);
    d[1] = colour.G * a + d[1] * (1 - a);
    d[2] = colour.B * a + d[2] * (1 - a);
    d[3] = a + d[3] * (1 - a);
}

void Layer::Paint(const Shape& shape, const Fill& fill, float softness)
{
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Vec2 p{x + 0.5f, y + 0.5f};
            const float coverage = std::clamp(0.5f - shape(p) / softness, 0.0f, 1.0f);
            if (coverage > 0)
                Blend(y * width + x, fill(p), coverage);
        }
    }
}

void Layer::Paint(const Shape& shape, const Rgba& colour, float softness)
{
    Paint(shape, [&](Vec2) { return colour; }, softness);
}

void Layer::Over(const Layer& top)
{
    for (size_t i = 0; i < premultiplied.size(); i += 4) {
        const float a = top.premultiplied[i + 3];
        for (size_t k = 0; k < 4; ++k)
            premultiplied[i + k] = top.premultiplied[i + k] + premultiplied[i + k] * (1 - a);
    }
}

namespace {

// One horizontal then one vertical running-sum pass; three of them come
// close to a Gaussian.
void BoxBlur(std::vector<float>& plane, int width, int height, int radius)
{
    std::vector<float> line;
    const auto pass = [&](int count, int length, auto at) {
        for (int i = 0; i < count; ++i) {
            line.assign(length, 0.0f);
            for (int j = 0; j < length; ++j) {
                float sum = 0;
                for (int k = std::max(0, j - radius); k <= std::min(length - 1, j + radius); ++k)
                    sum += at(i, k);
                line[j] = sum / float(2 * radius + 1);
            }
            for (int j = 0; j < length; ++j)
                at(i, j) = line[j];
        }
    };
    pass(height, width, [&](int y, int x) -> float& { return plane[size_t(y) * width + x]; });
    pass(width, height, [&](int x, int y) -> float& { return plane[size_t(y) * width + x]; });
}

}  // namespace

void Layer::Shadow(const Layer& top, int dx, int dy, int radius, const Rgba& colour)
{
    std::vector<float> alpha(size_t(width) * height, 0.0f);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (x - dx >= 0 && x - dx < width && y - dy >= 0 && y - dy < height)
                alpha[size_t(y) * width + x] = top.premultiplied[(size_t(y - dy) * width + (x - dx)) * 4 + 3];
    for (int i = 0; i < 3; ++i)
        BoxBlur(alpha, width, height, radius);
    for (size_t i = 0; i < alpha.size(); ++i)
        Blend(int(i), colour, alpha[i]);
}

Rgba Layer::At(int x, int y) const
{
    const float* p = &premultiplied[(size_t(y) * width + x) * 4];
    if (p[3] <= 0)
        return {0, 0, 0, 0};
    return {p[0] / p[3], p[1] / p[3], p[2] / p[3], p[3]};
}
