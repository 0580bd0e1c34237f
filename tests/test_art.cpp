#include <doctest.h>
#include <stdint.h>
#include <string.h>
#include <set>
#include <string>
#include <vector>

#include "engine/expressions.h"
#include "engine/stage.h"
#include "support/canvas.h"
#include "support/checks.h"

// The artwork as the built program holds it. Pixels are read twice: from the
// raw resource bits (the truth of the file, colour table included), and
// through LoadBitmapA and GetDIBits (what the engine gets to draw).

using testing::Pixels;


static const COLORREF TRANSPARENT_BLACK = RGB(0, 0, 0);
static const COLORREF WHITE = RGB(255, 255, 255);

static const char *const characterNames[SPRITE_COUNT] = {
    "pbl2r1", "pbl2r2", "pbl2r3", "pbl2r4", "pbl2r5", "pbl2r6", "pbl2r7", "pbl2r8",
    "pbr2l1", "pbr2l2", "pbr2l3", "pbr2l4", "pbr2l5", "pbr2l6", "pbr2l7", "pbr2l8",
    "pbltn1", "pbltn2", "pbrtn1", "pbrtn2",
    "pose01", "pose02", "pose03", "pose04", "pose05", "pose06", "pose07", "pose08",
    "pose09", "pose10", "pose11", "pose12", "pose13", "pose14", "pose15", "pose16",
};

// The engine pastes the eye and mouth cells over each pose at eyeOffsets
// and mouthOffsets: the art has to put Pimbo's face there.
static const POINT *const eyeCell = eyeOffsets;
static const POINT *const mouthCell = mouthOffsets;

struct RawBitmap {
    int width = 0, height = 0, bitsPerPixel = 0;
    DWORD colours = 0;          // biClrUsed as stored
    std::vector<COLORREF> rgb;  // top row first
    bool ok = false;
    COLORREF At(int x, int y) const { return rgb[(size_t)y * width + x]; }
};

// Decodes a bitmap resource of 4 or 8 bits per pixel from its own bytes.
static RawBitmap ReadRaw(const char *name)
{
    RawBitmap raw;
    HMODULE module = GetModuleHandleA(NULL);
    HRSRC found = FindResourceA(module, name, (LPCSTR)RT_BITMAP);
    if (!found)
        return raw;
    const DWORD size = SizeofResource(module, found);
    const uint8_t *bytes = (const uint8_t *)LockResource(LoadResource(module, found));
    if (!bytes || size < sizeof(BITMAPINFOHEADER))
        return raw;
    BITMAPINFOHEADER h;
    memcpy(&h, bytes, sizeof h);
    raw.width = h.biWidth;
    raw.height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    raw.bitsPerPixel = h.biBitCount;
    raw.colours = h.biClrUsed;
    if (h.biSize != sizeof h || h.biPlanes != 1 || h.biCompression != BI_RGB ||
        (h.biBitCount != 4 && h.biBitCount != 8) || raw.width <= 0 || raw.height <= 0)
        return raw;
    const DWORD entries = h.biClrUsed ? h.biClrUsed : (1u << h.biBitCount);
    const size_t stride = ((size_t)raw.width * h.biBitCount + 31) / 32 * 4;
    if (entries > (1u << h.biBitCount) || h.biSize + 4 * entries + stride * raw.height > size)
        return raw;
    const RGBQUAD *table = (const RGBQUAD *)(bytes + h.biSize);
    const uint8_t *bits = bytes + h.biSize + 4 * entries;
    raw.rgb.resize((size_t)raw.width * raw.height);
    for (int y = 0; y < raw.height; ++y) {
        const uint8_t *row = bits + stride * (h.biHeight > 0 ? raw.height - 1 - y : y);
        for (int x = 0; x < raw.width; ++x) {
            unsigned index = h.biBitCount == 8 ? row[x] : (row[x / 2] >> (x % 2 ? 0 : 4)) & 15;
            if (index >= entries)
                return raw;
            raw.rgb[(size_t)y * raw.width + x] = RGB(table[index].rgbRed, table[index].rgbGreen, table[index].rgbBlue);
        }
    }
    raw.ok = true;
    return raw;
}

// Black pixels that the black border region does not reach (4-connected).
static int EnclosedBlack(const RawBitmap &image)
{
    const int w = image.width, h = image.height;
    std::vector<char> reached((size_t)w * h, 0);
    std::vector<POINT> stack;
    auto push = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= w || y >= h)
            return;
        size_t i = (size_t)y * w + x;
        if (!reached[i] && image.rgb[i] == TRANSPARENT_BLACK) {
            reached[i] = 1;
            stack.push_back({ x, y });
        }
    };
    for (int x = 0; x < w; ++x) {
        push(x, 0);
        push(x, h - 1);
    }
    for (int y = 0; y < h; ++y) {
        push(0, y);
        push(w - 1, y);
    }
    while (!stack.empty()) {
        POINT p = stack.back();
        stack.pop_back();
        push(p.x + 1, p.y);
        push(p.x - 1, p.y);
        push(p.x, p.y + 1);
        push(p.x, p.y - 1);
    }
    int enclosed = 0;
    for (size_t i = 0; i < image.rgb.size(); ++i)
        if (image.rgb[i] == TRANSPARENT_BLACK && !reached[i])
            ++enclosed;
    return enclosed;
}

static int CountInSquare(const RawBitmap &image, POINT at, int size, COLORREF colour)
{
    int n = 0;
    for (int y = at.y; y < at.y + size; ++y)
        for (int x = at.x; x < at.x + size; ++x)
            if (image.At(x, y) == colour)
                ++n;
    return n;
}

static std::string Tile(int n)
{
    char name[8];
    wsprintfA(name, "bg%02d", n);
    return name;
}

struct Expected {
    std::string name;
    int width, height, bitsPerPixel;
};

static std::vector<Expected> FixedSizeImages()
{
    std::vector<Expected> all;
    for (const char *name : characterNames)
        all.push_back({ name, SPRITE_SIZE, SPRITE_SIZE, 4 });
    all.push_back({ "bubleft", 160, 95, 4 });
    all.push_back({ "bubright", 160, 95, 4 });
    all.push_back({ "expresns", 54, 175, 4 });
    all.push_back({ "sysbuts", 44, 11, 4 });
    return all;
}

TEST_CASE("every picture has its size and depth, in the file and once loaded")
{
    HINSTANCE instance = GetModuleHandleA(NULL);
    std::vector<Expected> all = FixedSizeImages();
    for (int n = 1; n <= 10; ++n) {
        RawBitmap tile = ReadRaw(Tile(n).c_str());
        INFO(Tile(n));
        CHECK_OR_RETURN(tile.ok);
        // tiles are square, in one of three sizes, at 4 or 8 bits
        CHECK(tile.width == tile.height);
        CHECK((tile.width == 80 || tile.width == 96 || tile.width == 135));
        CHECK((tile.bitsPerPixel == 4 || tile.bitsPerPixel == 8));
        all.push_back({ Tile(n), tile.width, tile.height, tile.bitsPerPixel });
    }
    for (const Expected &e : all) {
        INFO(e.name);
        RawBitmap raw = ReadRaw(e.name.c_str());
        CHECK_OR_RETURN(raw.ok);
        CHECK(raw.width == e.width);
        CHECK(raw.height == e.height);
        CHECK(raw.bitsPerPixel == e.bitsPerPixel);
        // each carries its own colour table, as the palette loader expects
        CHECK(raw.colours >= 2);
        CHECK(raw.colours <= (1u << e.bitsPerPixel));

        HBITMAP dib = (HBITMAP)LoadImageA(instance, e.name.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
        CHECK_OR_RETURN(dib);
        DIBSECTION section;
        CHECK_OR_RETURN(GetObjectA(dib, sizeof section, &section) == sizeof section);
        CHECK(section.dsBm.bmWidth == e.width);
        CHECK(section.dsBm.bmHeight == e.height);
        CHECK(section.dsBm.bmBitsPixel == e.bitsPerPixel);
        DeleteObject(dib);

        HBITMAP plain = LoadBitmapA(instance, e.name.c_str());
        CHECK_OR_RETURN(plain);
        BITMAP bm;
        CHECK_OR_RETURN(GetObjectA(plain, sizeof bm, &bm));
        CHECK(bm.bmWidth == e.width);
        CHECK(bm.bmHeight == e.height);
        DeleteObject(plain);
    }
}

TEST_CASE("the engine gets exactly the colours the files hold")
{
    HINSTANCE instance = GetModuleHandleA(NULL);
    for (const Expected &e : FixedSizeImages()) {
        INFO(e.name);
        RawBitmap raw = ReadRaw(e.name.c_str());
        CHECK_OR_RETURN(raw.ok);
        HBITMAP loaded = LoadBitmapA(instance, e.name.c_str());
        Pixels seen = testing::ReadBitmap(loaded);
        DeleteObject(loaded);
        CHECK_OR_RETURN(seen.width == raw.width);
        CHECK_OR_RETURN(seen.height == raw.height);
        int differing = 0;
        for (size_t i = 0; i < raw.rgb.size(); ++i)
            if (seen.rgb[i] != raw.rgb[i])
                ++differing;
        CHECK(differing == 0);
    }
}

TEST_CASE("transparent black surrounds Pimbo and never shows through him")
{
    for (const char *name : characterNames) {
        INFO(std::string(name));
        RawBitmap image = ReadRaw(name);
        CHECK_OR_RETURN(image.ok);
        // a black pixel cut off from the outside would let the stage show
        // through the figure
        CHECK(EnclosedBlack(image) == 0);
        int edgeOpaque = 0;
        for (int i = 0; i < SPRITE_SIZE; ++i)
            edgeOpaque += (image.At(i, 0) != TRANSPARENT_BLACK) + (image.At(i, SPRITE_SIZE - 1) != TRANSPARENT_BLACK) +
                          (image.At(0, i) != TRANSPARENT_BLACK) + (image.At(SPRITE_SIZE - 1, i) != TRANSPARENT_BLACK);
        CHECK(edgeOpaque == 0);
        int opaque = 0;
        for (COLORREF c : image.rgb)
            opaque += c != TRANSPARENT_BLACK;
        CHECK(opaque > 2000);   // a whole figure, not a speck
    }
}

TEST_CASE("walking left is walking right in a mirror")
{
    const char *const pairs[][2] = {
        { "pbl2r1", "pbr2l1" }, { "pbl2r2", "pbr2l2" }, { "pbl2r3", "pbr2l3" }, { "pbl2r4", "pbr2l4" },
        { "pbl2r5", "pbr2l5" }, { "pbl2r6", "pbr2l6" }, { "pbl2r7", "pbr2l7" }, { "pbl2r8", "pbr2l8" },
        { "pbltn1", "pbrtn1" }, { "pbltn2", "pbrtn2" },
    };
    for (const auto &pair : pairs) {
        INFO(std::string(pair[1]));
        RawBitmap right = ReadRaw(pair[0]), left = ReadRaw(pair[1]);
        CHECK_OR_RETURN(right.ok);
        CHECK_OR_RETURN(left.ok);
        int differing = 0;
        for (int y = 0; y < SPRITE_SIZE; ++y)
            for (int x = 0; x < SPRITE_SIZE; ++x)
                differing += right.At(x, y) != left.At(SPRITE_SIZE - 1 - x, y);
        CHECK(differing == 0);
    }
    // and the walk really moves: consecutive frames of the loop differ
    for (int i = 1; i < 8; ++i) {
        RawBitmap a = ReadRaw(characterNames[i]), b = ReadRaw(characterNames[i == 7 ? 1 : i + 1]);
        int differing = 0;
        for (size_t k = 0; k < a.rgb.size(); ++k)
            differing += a.rgb[k] != b.rgb[k];
        INFO(std::string(characterNames[i]));
        CHECK(differing > 200);
    }
}

TEST_CASE("each pose has its face under the eye and mouth cells")
{
    RawBitmap strip = ReadRaw("expresns");
    CHECK_OR_RETURN(strip.ok);
    for (int pose = 0; pose < 16; ++pose) {
        INFO("pose ", pose);
        RawBitmap image = ReadRaw(characterNames[SPRITE_POSE + pose]);
        CHECK_OR_RETURN(image.ok);
        CHECK(CountInSquare(image, eyeCell[pose], EXPRESSION_CELL, TRANSPARENT_BLACK) == 0);
        CHECK(CountInSquare(image, mouthCell[pose], EXPRESSION_CELL, TRANSPARENT_BLACK) == 0);
        for (int kind = 1; kind <= 5; ++kind) {
            INFO("kind ", kind);
            POINT cell = { (kind - 1) * EXPRESSION_PITCH, pose * EXPRESSION_PITCH };
            CHECK(CountInSquare(strip, cell, EXPRESSION_CELL, TRANSPARENT_BLACK) == 0);
        }
    }
}

// How many pixels of cell (kind, pose) differ from the pose picture under it;
// `edgeOnly` counts only the cell's outermost ring.
static int CellDifference(const RawBitmap &strip, const RawBitmap &image, int pose, int kind, bool edgeOnly)
{
    POINT at = kind <= 2 ? eyeCell[pose] : mouthCell[pose];
    int n = 0;
    for (int y = 0; y < EXPRESSION_CELL; ++y)
        for (int x = 0; x < EXPRESSION_CELL; ++x) {
            bool edge = x == 0 || y == 0 || x == EXPRESSION_CELL - 1 || y == EXPRESSION_CELL - 1;
            if (edgeOnly && !edge)
                continue;
            COLORREF c = strip.At((kind - 1) * EXPRESSION_PITCH + x, pose * EXPRESSION_PITCH + y);
            n += c != image.At(at.x + x, at.y + y);
        }
    return n;
}

TEST_CASE("pasted expression cells sit seamlessly on the face and visibly change it")
{
    RawBitmap strip = ReadRaw("expresns");
    CHECK_OR_RETURN(strip.ok);
    for (int pose = 0; pose < 16; ++pose) {
        INFO("pose ", pose);
        RawBitmap image = ReadRaw(characterNames[SPRITE_POSE + pose]);
        CHECK_OR_RETURN(image.ok);
        for (int kind = 1; kind <= 5; ++kind) {
            INFO("kind ", kind);
            // a cell cut from the wrong place or drawn in other colours would
            // show its frame: most of its ring (36 pixels) must match the face
            // around it; an open mouth may reach the edge here and there
            CHECK(CellDifference(strip, image, pose, kind, true) <= 12);
        }
        // speaking ends on the pose's own mouth
        CHECK(CellDifference(strip, image, pose, EXPR_MOUTH_REST, false) == 0);
        // the wink closes an eye, and every mouth cell looks unlike the others
        CHECK(CellDifference(strip, image, pose, EXPR_WINK1, false) >= 4);
        CHECK(CellDifference(strip, image, pose, 3, false) >= 4);
        CHECK(CellDifference(strip, image, pose, 4, false) >= 4);
        int threeVersusFour = 0;
        for (int y = 0; y < EXPRESSION_CELL; ++y)
            for (int x = 0; x < EXPRESSION_CELL; ++x)
                threeVersusFour += strip.At(2 * EXPRESSION_PITCH + x, pose * EXPRESSION_PITCH + y) !=
                                   strip.At(3 * EXPRESSION_PITCH + x, pose * EXPRESSION_PITCH + y);
        CHECK(threeVersusFour >= 4);
    }
}

TEST_CASE("bubbles: white where the text goes, the tail at mid-height, transparent outside")
{
    struct Bubble {
        const char *name;
        RECT text;        // in bitmap pixels, down to the outline on the last two rows
        bool tailLeft;
    } const bubbles[] = {
        { "bubleft", { 10 + 20, 14 + 12, 10 + 160 - 20, 93 }, true },
        { "bubright", { -10 + 20, 14 + 12, -10 + 160 - 20, 93 }, false },
    };
    for (const Bubble &b : bubbles) {
        INFO(std::string(b.name));
        RawBitmap image = ReadRaw(b.name);
        CHECK_OR_RETURN(image.ok);
        int notWhite = 0;
        for (int y = b.text.top; y < b.text.bottom; ++y)
            for (int x = b.text.left; x < b.text.right; ++x)
                notWhite += image.At(x, y) != WHITE;
        CHECK(notWhite == 0);
        // closed at the bottom: the outline runs under the text
        for (int x = b.text.left; x < b.text.right; ++x) {
            CHECK(image.At(x, 93) != WHITE);
            CHECK(image.At(x, 94) != TRANSPARENT_BLACK);
        }
        CHECK(image.At(0, 0) == TRANSPARENT_BLACK);
        CHECK(image.At(159, 0) == TRANSPARENT_BLACK);
        CHECK(EnclosedBlack(image) == 0);
        // the tail's tip: the opaque pixel nearest the tail's side
        int tipX = b.tailLeft ? 160 : -1, tipY = -1;
        for (int y = 0; y < 95; ++y)
            for (int x = 0; x < 160; ++x)
                if (image.At(x, y) != TRANSPARENT_BLACK && (b.tailLeft ? x < tipX : x > tipX)) {
                    tipX = x;
                    tipY = y;
                }
        CHECK((b.tailLeft ? tipX <= 3 : tipX >= 156));
        CHECK(tipY >= 38);
        CHECK(tipY <= 58);
    }
}

TEST_CASE("the editor's glyph strip: minimize bar, close cross, a dark blue figure, grey elsewhere")
{
    RawBitmap glyphs = ReadRaw("sysbuts");
    CHECK_OR_RETURN(glyphs.ok);
    const COLORREF grey = RGB(192, 192, 192), navy = RGB(0, 0, 128), black = RGB(0, 0, 0);
    int minimizeBlack = 0, minimizeHigh = 0, figure = 0, other = 0;
    bool closeCorners[2][2] = { { false, false }, { false, false } };   // [top/bottom][left/right]
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 44; ++x) {
            COLORREF c = glyphs.At(x, y);
            if (x <= 10 && c == black) {
                ++minimizeBlack;
                minimizeHigh += y < 6;
            } else if (x >= 11 && x <= 19 && c == black) {
                if (y <= 3 || y >= 7)
                    closeCorners[y >= 7][x >= 15] = true;
            } else if (x >= 20 && c == navy) {
                ++figure;
            } else if (c != grey) {
                ++other;
            }
        }
    CHECK(minimizeBlack >= 4);
    CHECK(minimizeHigh == 0);      // the bar lies at the bottom
    CHECK(closeCorners[0][0]);
    CHECK(closeCorners[0][1]);
    CHECK(closeCorners[1][0]);
    CHECK(closeCorners[1][1]);
    CHECK(figure >= 15);
    CHECK(other == 0);
}

TEST_CASE("icon 100 holds a 32 and a 16 pixel picture; the target cursor aims at its centre")
{
    HINSTANCE instance = GetModuleHandleA(NULL);
    HRSRC group = FindResourceA(instance, MAKEINTRESOURCEA(100), (LPCSTR)RT_GROUP_ICON);
    CHECK_OR_RETURN(group);
    const uint8_t *dir = (const uint8_t *)LockResource(LoadResource(instance, group));
    CHECK_OR_RETURN(dir);
    const int count = dir[4] | (dir[5] << 8);
    bool has32 = false, has16 = false;
    for (int i = 0; i < count; ++i) {
        const uint8_t *entry = dir + 6 + 14 * i;   // GRPICONDIRENTRY
        has32 |= entry[0] == 32 && entry[1] == 32;
        has16 |= entry[0] == 16 && entry[1] == 16;
    }
    CHECK(has32);
    CHECK(has16);
    for (int size : { 32, 16 }) {
        HICON icon = (HICON)LoadImageA(instance, MAKEINTRESOURCEA(100), IMAGE_ICON, size, size, 0);
        CHECK_OR_RETURN(icon);
        ICONINFO info;
        CHECK_OR_RETURN(GetIconInfo(icon, &info));
        BITMAP bm;
        GetObjectA(info.hbmColor, sizeof bm, &bm);
        CHECK(bm.bmWidth == size);
        CHECK(bm.bmHeight == size);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }

    HCURSOR target = LoadCursorA(instance, "target");
    CHECK_OR_RETURN(target);
    ICONINFO info;
    CHECK_OR_RETURN(GetIconInfo(target, &info));
    CHECK(info.fIcon == FALSE);
    CHECK(info.xHotspot == 16);
    CHECK(info.yHotspot == 16);
    BITMAP mask;
    GetObjectA(info.hbmMask, sizeof mask, &mask);
    CHECK(mask.bmWidth == 32);
    if (info.hbmColor)
        DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyCursor(target);
}

TEST_CASE("the string table: three titles and 194 statements that fit the bubble")
{
    HINSTANCE instance = GetModuleHandleA(NULL);
    const char *const titles[] = { "Fizzy Pimbo's Parade", "Fizzy Pimbo Screen Saver", "Fizzy Pimbo Toon File Editor" };
    char text[256];
    for (int id = 1; id <= 3; ++id) {
        CHECK(LoadStringA(instance, id, text, sizeof text) == (int)strlen(titles[id - 1]));
        CHECK(std::string(text) == titles[id - 1]);
    }
    int withBreaks = 0;
    std::set<std::string> seen;
    for (int id = 4; id <= 197; ++id) {
        INFO("string ", id);
        int length = LoadStringA(instance, id, text, sizeof text);
        std::string s(text, length > 0 ? length : 0);
        INFO(s);
        CHECK(length >= 22);
        CHECK(length <= 67);
        // the statement buffer holds 69 characters and the terminating zero
        char buffer[70];
        CHECK(LoadStringA(instance, id, buffer, sizeof buffer) == length);
        int breaks = 0, oddChars = 0;
        for (size_t i = 0; i < s.size(); ++i) {
            if (s[i] == '\r') {
                ++breaks;
                // a break at either end or twice in a row shows an empty line
                CHECK(i != 0);
                CHECK(i != s.size() - 1);
                CHECK((i == 0 || s[i - 1] != '\r'));
            } else if ((unsigned char)s[i] < 32 || (unsigned char)s[i] > 126) {
                ++oddChars;
            }
        }
        CHECK(oddChars == 0);
        CHECK(breaks <= 2);
        withBreaks += breaks > 0;
        CHECK(seen.insert(s).second);   // no saying twice
    }
    CHECK(withBreaks == 48);
}
