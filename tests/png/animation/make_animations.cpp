// make_animations DIR: writes the animations of the frame oracle test with
// the tests' own PNG writer (every colour type and depth, Adam7, frames in
// many chunks, broken structures), and DIR/cases.txt: one line a file with
// the frames it must give and the words its animation line must hold
// ("-" for none).
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/png_writer.h"

namespace {

using pngtest::Bytes;
using pngtest::Picture;

struct Frame {
    uint32_t W, H, X, Y;
    uint8_t Dispose, Blend;
    uint16_t Num = 1, Den = 10;
};

struct Case {
    std::string Name;
    uint8_t Depth, Type, Interlace = 0;
    std::vector<Frame> Frames;
    uint32_t Announced = 0;  // 0: as many as Frames
    bool DefaultIsFrame = true;
    size_t Piece = SIZE_MAX;  // bytes of zlib data a chunk
    int Frames_ = -1;         // frames to expect; -1: all
    std::string Expect = "-";
};

Bytes Be16(uint16_t v) { return {uint8_t(v >> 8), uint8_t(v)}; }

Bytes Join(std::vector<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Control(uint32_t seq, const Frame& f)
{
    using pngtest::BigEndian32;
    return Join({BigEndian32(seq), BigEndian32(f.W), BigEndian32(f.H), BigEndian32(f.X), BigEndian32(f.Y),
                 Be16(f.Num), Be16(f.Den), Bytes{f.Dispose, f.Blend}});
}

Picture FramePicture(const Case& c, const Frame& f, uint32_t seed)
{
    Picture p = pngtest::NoisePicture(f.W, f.H, c.Depth, c.Type, seed);
    p.Interlace = c.Interlace;
    // Palette indices within the 6 entries written; every third pixel of an
    // 8-bit RGB frame the key colour.
    for (auto& row : p.Rows)
        for (size_t i = 0; i < row.size(); ++i) {
            if (c.Type == 3)
                row[i] = c.Depth == 8 ? row[i] % 6 : row[i] & 0x55;
            if (c.Type == 2 && c.Depth == 8 && (i / 3) % 3 == 0)
                row[i] = i % 3 == 0 ? 10 : i % 3 == 1 ? 20 : 30;
        }
    return p;
}

struct Chunk {
    std::string Type;
    Bytes Data;
};

void Pieces(std::vector<Chunk>& out, const char* type, uint32_t* seq, const Bytes& zlib, size_t piece)
{
    for (size_t at = 0; at < zlib.size(); at += piece) {
        Bytes part(zlib.begin() + at, zlib.begin() + std::min(zlib.size(), at + piece));
        out.push_back({type, seq ? Join({pngtest::BigEndian32((*seq)++), part}) : part});
    }
}

// Every chunk after the header, in file order.
std::vector<Chunk> Chunks(const Case& c)
{
    std::vector<Chunk> out;
    const uint32_t announced = c.Announced ? c.Announced : uint32_t(c.Frames.size());
    out.push_back({"acTL", Join({pngtest::BigEndian32(announced), pngtest::BigEndian32(2)})});
    if (c.Type == 3) {
        out.push_back({"PLTE", {255, 0, 0, 0, 255, 0, 0, 0, 255, 250, 250, 0, 0, 250, 250, 40, 40, 40}});
        out.push_back({"tRNS", {0, 128, 255, 60, 200}});
    }
    if (c.Type == 2 && c.Depth == 8)
        out.push_back({"tRNS", {0, 10, 0, 20, 0, 30}});
    uint32_t seq = 0;
    // The first region is the default image's, a frame or not.
    if (c.DefaultIsFrame)
        out.push_back({"fcTL", Control(seq++, c.Frames[0])});
    Pieces(out, "IDAT", nullptr, pngtest::Deflate(pngtest::FilterPicture(FramePicture(c, c.Frames[0], 1), 4)), c.Piece);
    for (size_t i = 1; i < c.Frames.size(); ++i) {
        out.push_back({"fcTL", Control(seq++, c.Frames[i])});
        const Picture p = FramePicture(c, c.Frames[i], 7 + uint32_t(i));
        Pieces(out, "fdAT", &seq, pngtest::Deflate(pngtest::FilterPicture(p, 1)), c.Piece);
    }
    return out;
}

Bytes Write(const Case& c, const std::vector<Chunk>& chunks)
{
    pngtest::PngWriter w;
    w.Signature().Header(FramePicture(c, c.Frames[0], 1));
    for (const Chunk& chunk : chunks)
        w.Chunk(chunk.Type, chunk.Data);
    return w.End().Data;
}

// Index of the n-th chunk of the type.
size_t Find(const std::vector<Chunk>& chunks, const std::string& type, int n = 0)
{
    for (size_t i = 0; i < chunks.size(); ++i)
        if (chunks[i].Type == type && n-- == 0)
            return i;
    return chunks.size();
}

void SetSequence(Chunk& chunk, uint32_t seq)
{
    const Bytes b = pngtest::BigEndian32(seq);
    std::copy(b.begin(), b.end(), chunk.Data.begin());
}

// A good animation (rgba 8, four frames, each frame's data in one chunk)
// with one thing changed; each must play as its static picture, or, where
// a frame's data breaks, end on the frame before.
struct Broken {
    std::string Name;
    size_t Frames;
    std::string Expect;
    void (*Change)(std::vector<Chunk>&);
    size_t Piece = SIZE_MAX;
    bool HiddenDefault = false;
};

const Broken kBroken[] = {
    {"bad-sequence-gap", 1, "sequence", [](auto& c) { SetSequence(c[Find(c, "fdAT", 1)], 9); }},
    {"bad-sequence-repeat", 1, "sequence", [](auto& c) { SetSequence(c[Find(c, "fcTL", 2)], 2); }},
    {"bad-sequence-reordered", 1, "sequence", [](auto& c) { std::swap(c[Find(c, "fcTL", 2)], c[Find(c, "fdAT", 1)]); }},
    {"bad-frame-without-data", 1, "without data", [](auto& c) { c.erase(c.begin() + long(Find(c, "fdAT", 0))); }},
    {"bad-control-at-end", 1, "without data",
     [](auto& c) { c.erase(c.begin() + long(Find(c, "fdAT", 2))); }},
    {"bad-second-actl", 1, "second acTL", [](auto& c) { c.insert(c.begin() + 1, c[0]); }},
    {"bad-late-actl", 1, "no acTL before", [](auto& c) { c.push_back(c[0]); std::rotate(c.begin(), c.begin() + 1, c.end()); }},
    {"bad-frame-count-0", 1, "frame count", [](auto& c) { c[0].Data[3] = 0; }},
    {"bad-region-outside", 1, "outside", [](auto& c) { c[Find(c, "fcTL", 1)].Data[15] = 20; }},
    {"bad-region-empty", 1, "empty", [](auto& c) { c[Find(c, "fcTL", 1)].Data[7] = 0; }},
    {"bad-dispose-3", 1, "out of range", [](auto& c) { c[Find(c, "fcTL", 1)].Data[24] = 3; }},
    {"bad-blend-2", 1, "out of range", [](auto& c) { c[Find(c, "fcTL", 2)].Data[25] = 2; }},
    {"bad-default-not-whole", 1, "whole canvas", [](auto& c) { c[Find(c, "fcTL", 0)].Data[7] = 5; }},
    {"bad-data-before-control", 1, "without its fcTL", [](auto& c) { std::swap(c[Find(c, "fcTL", 1)], c[Find(c, "fdAT", 0)]); }},
    {"bad-data-interrupted", 1, "not continued",
     [](auto& c) { c.insert(c.begin() + long(Find(c, "fdAT", 1)), Chunk{"tEXt", {'a', 0, 'b'}}); }, 40},
    {"bad-first-frame-stream", 1, "could not be decoded", [](auto& c) { c[Find(c, "fdAT")].Data[10] ^= 0xFF; },
     SIZE_MAX, true},
    {"bad-third-frame-stream", 2, "ended after frame 1", [](auto& c) { c[Find(c, "fdAT", 1)].Data[10] ^= 0xFF; }},
};

std::vector<Case> Cases()
{
    const Frame full{24, 16, 0, 0, 0, 0};
    std::vector<Case> cases = {
        {"grey1-edges", 1, 0, 0, {full, {9, 5, 15, 11, 1, 0}, {24, 3, 0, 13, 2, 1}, {5, 16, 19, 0, 0, 1}}},
        {"grey2", 2, 0, 0, {full, {10, 10, 3, 3, 2, 1}, {7, 7, 17, 9, 0, 0}}},
        {"grey16-adam7", 16, 0, 1, {full, {13, 9, 11, 7, 1, 1}, {5, 5, 0, 0, 2, 0}}},
        {"rgb8-key", 8, 2, 0, {full, {12, 8, 6, 4, 2, 1}, {24, 16, 0, 0, 1, 1}, {3, 3, 21, 13, 0, 1}}},
        {"rgb16", 16, 2, 0, {full, {20, 2, 4, 14, 1, 0}, {8, 8, 8, 8, 0, 1}}},
        {"palette1", 1, 3, 0, {full, {17, 13, 7, 3, 2, 1}, {24, 16, 0, 0, 0, 1}}},
        {"palette4-pieces", 4, 3, 0, {full, {11, 11, 13, 5, 1, 1}, {6, 16, 18, 0, 2, 1}, {24, 1, 0, 15, 0, 0}}, 0,
         true, 7},
        {"palette8-adam7", 8, 3, 1, {full, {14, 10, 10, 6, 2, 1}, {9, 9, 2, 2, 1, 1}}},
        {"greyalpha8", 8, 4, 0, {full, {16, 12, 8, 4, 0, 1}, {16, 12, 0, 0, 2, 1}, {4, 4, 10, 6, 1, 1}}},
        {"greyalpha16", 16, 4, 0, {full, {12, 12, 12, 4, 1, 1}, {12, 4, 0, 12, 2, 1}}},
        {"rgba8-prev", 8, 6, 0, {full, {10, 8, 2, 2, 2, 1}, {10, 8, 12, 6, 2, 1}, {24, 16, 0, 0, 2, 1}, {6, 6, 9, 5, 0, 1}}},
        {"rgba16-adam7", 16, 6, 1, {full, {11, 7, 13, 9, 1, 1}, {24, 16, 0, 0, 0, 1}}, 0, true, 50},
        {"rgba8-hidden-default", 8, 6, 0, {full, {24, 16, 0, 0, 0, 1}, {7, 7, 3, 3, 1, 1}}, 0, false},
        {"rgba8-beyond-count", 8, 6, 0, {full, {5, 5, 1, 1, 0, 1}, {5, 5, 9, 9, 0, 1}}, 2},
        {"rgba8-fewer", 8, 6, 0, {full, {5, 5, 1, 1, 1, 1}}, 5},
    };
    cases[13].Frames_ = 2;
    cases[1].Frames[1].Den = 0;
    cases[4].Frames[0].Num = 0;
    return cases;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: make_animations DIR\n", stderr);
        return 2;
    }
    const std::string dir = argv[1];
    std::FILE* list = std::fopen((dir + "/cases.txt").c_str(), "w");
    bool ok = list != nullptr;
    std::vector<std::pair<Case, std::vector<Chunk>>> files;
    for (const Case& c : Cases())
        files.push_back({c, Chunks(c)});
    const Case base{"", 8, 6, 0, {{24, 16, 0, 0, 0, 0}, {9, 5, 15, 11, 1, 1}, {24, 3, 0, 13, 2, 1}, {5, 16, 19, 0, 0, 1}}};
    for (const Broken& b : kBroken) {
        Case c = base;
        c.Name = b.Name;
        c.Frames_ = int(b.Frames);
        c.Expect = b.Expect;
        c.Piece = b.Piece;
        c.DefaultIsFrame = !b.HiddenDefault;
        files.push_back({c, Chunks(c)});
        b.Change(files.back().second);
    }
    for (const auto& [c, chunks] : files) {
        const Bytes bytes = Write(c, chunks);
        std::FILE* f = std::fopen((dir + "/" + c.Name + ".png").c_str(), "wb");
        ok = ok && f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        ok = f && std::fclose(f) == 0 && ok;
        const size_t frames = c.Frames_ >= 0 ? size_t(c.Frames_) : c.Frames.size() - !c.DefaultIsFrame;
        if (list)
            std::fprintf(list, "%s.png %zu %s\n", c.Name.c_str(), frames, c.Expect.c_str());
    }
    ok = list && std::fclose(list) == 0 && ok;
    return ok ? 0 : 1;
}
