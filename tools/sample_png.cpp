// The PNG writer of make_samples: converts a painted layer to the samples of
// one colour type and depth, filters every row with the filter that gives the
// smallest sum of absolute differences (so all five filter types occur),
// splits Adam7 passes when asked, and cuts the deflated data into several
// "IDAT" chunks. PNG standard sections 7 to 12.
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "tools/sample_paint.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kIdatSize = 8192;

struct Adam7Pass {
    int X0, Y0, DX, DY;
};
constexpr std::array<Adam7Pass, 7> kPasses = {
    {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}}};

int Channels(int colorType)
{
    switch (colorType) {
    case 0: return 1;
    case 2: return 3;
    case 3: return 1;
    case 4: return 2;
    default: return 4;
    }
}

uint16_t Quantise(float v, int bitDepth)
{
    const float top = bitDepth == 16 ? 65535.0f : 255.0f;
    return static_cast<uint16_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * top));
}

uint8_t NearestEntry(const Rgba& c, const std::vector<Rgba>& palette)
{
    // Compared premultiplied, so every fully transparent colour is one colour.
    size_t best = 0;
    float bestDistance = 1e9f;
    for (size_t i = 0; i < palette.size(); ++i) {
        const Rgba& e = palette[i];
        const float dr = c.R * c.A - e.R * e.A, dg = c.G * c.A - e.G * e.A, db = c.B * c.A - e.B * e.A;
        const float da = c.A - e.A;
        const float distance = dr * dr + dg * dg + db * db + 2 * da * da;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return static_cast<uint8_t>(best);
}

// The samples of one pixel, big-endian for 16 bits.
void AppendPixel(Bytes& row, const Rgba& c, const PngPlan& plan)
{
    std::array<float, 4> values{};
    switch (plan.ColorType) {
    case 3: row.push_back(NearestEntry(c, plan.Palette)); return;
    case 2: values = {c.R, c.G, c.B}; break;
    case 4: values = {0.299f * c.R + 0.587f * c.G + 0.114f * c.B, c.A}; break;
    case 6: values = {c.R, c.G, c.B, c.A}; break;
    default: values = {0.299f * c.R + 0.587f * c.G + 0.114f * c.B}; break;
    }
    for (int k = 0; k < Channels(plan.ColorType); ++k) {
        const uint16_t v = Quantise(values[k], plan.BitDepth);
        if (plan.BitDepth == 16)
            row.push_back(static_cast<uint8_t>(v >> 8));
        row.push_back(static_cast<uint8_t>(v));
    }
}

int Predict(int type, int a, int b, int c)
{
    switch (type) {
    case 1: return a;
    case 2: return b;
    case 3: return (a + b) / 2;
    case 4: {
        const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
        return (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
    }
    default: return 0;
    }
}

// Appends the filter byte and the filtered row, choosing the filter whose
// output bytes, read as signed, sum to the least.
void AppendFiltered(Bytes& out, const Bytes& row, const Bytes& previous, int step)
{
    Bytes best;
    long bestScore = -1;
    for (int type = 0; type <= 4; ++type) {
        Bytes filtered(row.size() + 1, static_cast<uint8_t>(type));
        long score = 0;
        for (size_t i = 0; i < row.size(); ++i) {
            const int a = i >= size_t(step) ? row[i - step] : 0;
            const int b = previous.empty() ? 0 : previous[i];
            const int c = (i >= size_t(step) && !previous.empty()) ? previous[i - step] : 0;
            filtered[i + 1] = static_cast<uint8_t>(row[i] - Predict(type, a, b, c));
            score += std::abs(static_cast<int8_t>(filtered[i + 1]));
        }
        if (bestScore < 0 || score < bestScore) {
            bestScore = score;
            best.swap(filtered);
        }
    }
    out.insert(out.end(), best.begin(), best.end());
}

// The filtered rows of one sub-image (the whole picture, or one Adam7 pass).
void AppendSubImage(Bytes& out, const Layer& layer, const PngPlan& plan, const Adam7Pass& pass)
{
    const int step = std::max(1, Channels(plan.ColorType) * plan.BitDepth / 8);
    Bytes previous;
    for (int y = pass.Y0; y < layer.Height(); y += pass.DY) {
        Bytes row;
        for (int x = pass.X0; x < layer.Width(); x += pass.DX)
            AppendPixel(row, layer.At(x, y), plan);
        if (row.empty())
            return;  // a pass with no columns has no rows either
        AppendFiltered(out, row, previous, step);
        previous.swap(row);
    }
}

void PutBigEndian(Bytes& out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}

void AppendChunk(Bytes& file, const char* type, const Bytes& data)
{
    PutBigEndian(file, static_cast<uint32_t>(data.size()));
    const size_t start = file.size();
    file.insert(file.end(), type, type + 4);
    file.insert(file.end(), data.begin(), data.end());
    const uLong crc = crc32(0, file.data() + start, static_cast<uInt>(file.size() - start));
    PutBigEndian(file, static_cast<uint32_t>(crc));
}

Bytes HeaderData(const Layer& layer, const PngPlan& plan)
{
    Bytes data;
    PutBigEndian(data, static_cast<uint32_t>(layer.Width()));
    PutBigEndian(data, static_cast<uint32_t>(layer.Height()));
    data.push_back(static_cast<uint8_t>(plan.BitDepth));
    data.push_back(static_cast<uint8_t>(plan.ColorType));
    data.push_back(0);  // deflate
    data.push_back(0);  // adaptive filtering
    data.push_back(plan.Interlaced ? 1 : 0);
    return data;
}

void AppendPalette(Bytes& file, const std::vector<Rgba>& palette)
{
    Bytes colours, alphas;
    for (const Rgba& e : palette) {
        for (float v : {e.R, e.G, e.B})
            colours.push_back(static_cast<uint8_t>(Quantise(v, 8)));
        alphas.push_back(static_cast<uint8_t>(Quantise(e.A, 8)));
    }
    // tRNS may stop after the last entry that is not opaque.
    while (!alphas.empty() && alphas.back() == 255)
        alphas.pop_back();
    AppendChunk(file, "PLTE", colours);
    if (!alphas.empty())
        AppendChunk(file, "tRNS", alphas);
}

// The layer's image data as one zlib stream; empty on failure.
Bytes Compressed(const Layer& layer, const PngPlan& plan)
{
    Bytes raw;
    if (plan.Interlaced) {
        for (const Adam7Pass& pass : kPasses)
            AppendSubImage(raw, layer, plan, pass);
    } else {
        AppendSubImage(raw, layer, plan, {0, 0, 1, 1});
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    Bytes packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 9) != Z_OK)
        return {};
    packed.resize(packedSize);
    return packed;
}

// The stream in chunks of kIdatSize bytes; "fdAT" chunks begin with the
// next sequence number.
void AppendData(Bytes& file, const char* type, const Bytes& packed, uint32_t* sequence)
{
    for (size_t at = 0; at < packed.size(); at += kIdatSize) {
        Bytes data;
        if (sequence)
            PutBigEndian(data, (*sequence)++);
        data.insert(data.end(), packed.begin() + at, packed.begin() + std::min(packed.size(), at + kIdatSize));
        AppendChunk(file, type, data);
    }
}

bool PlanFits(const PngPlan& plan)
{
    return plan.BitDepth >= 8 && (plan.ColorType != 3 || (!plan.Palette.empty() && plan.Palette.size() <= 256));
}

Bytes Start(const Layer& canvas, const PngPlan& plan)
{
    Bytes file = {137, 80, 78, 71, 13, 10, 26, 10};
    AppendChunk(file, "IHDR", HeaderData(canvas, plan));
    return file;
}

void AppendFrameControl(Bytes& file, uint32_t& sequence, const AnimationFrame& frame)
{
    Bytes data;
    for (uint32_t v : {sequence++, uint32_t(frame.Picture.Width()), uint32_t(frame.Picture.Height()),
                       uint32_t(frame.X), uint32_t(frame.Y)})
        PutBigEndian(data, v);
    data.insert(data.end(), {uint8_t(frame.DelayMs >> 8), uint8_t(frame.DelayMs), 0x03, 0xE8, frame.Dispose,
                             frame.Blend});
    AppendChunk(file, "fcTL", data);
}

bool Save(const std::string& path, const Bytes& file)
{
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
        return false;
    const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    return std::fclose(out) == 0 && written;
}

}  // namespace

bool WritePicture(const std::string& path, const Layer& layer, const PngPlan& plan)
{
    const Bytes packed = PlanFits(plan) ? Compressed(layer, plan) : Bytes{};
    if (packed.empty())
        return false;
    Bytes file = Start(layer, plan);
    if (plan.ColorType == 3)
        AppendPalette(file, plan.Palette);
    AppendData(file, "IDAT", packed, nullptr);
    AppendChunk(file, "IEND", {});
    return Save(path, file);
}

bool WriteAnimation(const std::string& path, const std::vector<AnimationFrame>& frames, const PngPlan& plan,
                    uint32_t plays)
{
    if (frames.empty() || !PlanFits(plan))
        return false;
    Bytes file = Start(frames[0].Picture, plan);
    Bytes control;
    PutBigEndian(control, static_cast<uint32_t>(frames.size()));
    PutBigEndian(control, plays);
    AppendChunk(file, "acTL", control);
    if (plan.ColorType == 3)
        AppendPalette(file, plan.Palette);
    uint32_t sequence = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        const Bytes packed = Compressed(frames[i].Picture, plan);
        if (packed.empty())
            return false;
        AppendFrameControl(file, sequence, frames[i]);
        // The first frame is the default image, which every decoder shows.
        AppendData(file, i == 0 ? "IDAT" : "fdAT", packed, i == 0 ? nullptr : &sequence);
    }
    AppendChunk(file, "IEND", {});
    return Save(path, file);
}
