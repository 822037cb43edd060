#include "input_overlay.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tqk {

namespace {

// The built-in font: 5 x 7 cells, '#' set. Its own pixels on every machine, font set and
// depth, so the boxes look alike in every movie and their geometry is tested exactly.
struct Glyph {
    const char* key;  // one character, UTF-8
    const char* rows[7];
};

// clang-format off
const Glyph kGlyphs[] = {
    {" ", {".....", ".....", ".....", ".....", ".....", ".....", "....."}},
    {"A", {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {"B", {"####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."}},
    {"C", {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."}},
    {"D", {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."}},
    {"E", {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {"F", {"#####", "#....", "#....", "####.", "#....", "#....", "#...."}},
    {"G", {".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"}},
    {"H", {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {"I", {".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {"J", {"..###", "...#.", "...#.", "...#.", "...#.", "#..#.", ".##.."}},
    {"K", {"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"}},
    {"L", {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
    {"M", {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"}},
    {"N", {"#...#", "#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#"}},
    {"O", {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {"P", {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."}},
    {"Q", {".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"}},
    {"R", {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
    {"S", {".####", "#....", "#....", ".###.", "....#", "....#", "####."}},
    {"T", {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
    {"U", {"#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {"V", {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
    {"W", {"#...#", "#...#", "#...#", "#.#.#", "#.#.#", "#.#.#", ".#.#."}},
    {"X", {"#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"}},
    {"Y", {"#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."}},
    {"Z", {"#####", "....#", "...#.", "..#..", ".#...", "#....", "#####"}},
    {"a", {".....", ".....", ".###.", "....#", ".####", "#...#", ".####"}},
    {"b", {"#....", "#....", "#.##.", "##..#", "#...#", "#...#", "####."}},
    {"c", {".....", ".....", ".###.", "#....", "#....", "#...#", ".###."}},
    {"d", {"....#", "....#", ".##.#", "#..##", "#...#", "#...#", ".####"}},
    {"e", {".....", ".....", ".###.", "#...#", "#####", "#....", ".###."}},
    {"f", {"..##.", ".#..#", ".#...", "###..", ".#...", ".#...", ".#..."}},
    {"g", {".....", ".####", "#...#", "#...#", ".####", "....#", ".###."}},
    {"h", {"#....", "#....", "#.##.", "##..#", "#...#", "#...#", "#...#"}},
    {"i", {"..#..", ".....", ".##..", "..#..", "..#..", "..#..", ".###."}},
    {"j", {"...#.", ".....", "..##.", "...#.", "...#.", "#..#.", ".##.."}},
    {"k", {"#....", "#....", "#..#.", "#.#..", "##...", "#.#..", "#..#."}},
    {"l", {".##..", "..#..", "..#..", "..#..", "..#..", "..#..", "...##"}},
    {"m", {".....", ".....", "##.#.", "#.#.#", "#.#.#", "#...#", "#...#"}},
    {"n", {".....", ".....", "#.##.", "##..#", "#...#", "#...#", "#...#"}},
    {"o", {".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###."}},
    {"p", {".....", ".....", "####.", "#...#", "####.", "#....", "#...."}},
    {"q", {".....", ".....", ".##.#", "#..##", ".####", "....#", "....#"}},
    {"r", {".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."}},
    {"s", {".....", ".....", ".###.", "#....", ".###.", "....#", "####."}},
    {"t", {".#...", ".#...", "###..", ".#...", ".#...", ".#..#", "..##."}},
    {"u", {".....", ".....", "#...#", "#...#", "#...#", "#..##", ".##.#"}},
    {"v", {".....", ".....", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
    {"w", {".....", ".....", "#...#", "#...#", "#.#.#", "#.#.#", ".#.#."}},
    {"x", {".....", ".....", "#...#", ".#.#.", "..#..", ".#.#.", "#...#"}},
    {"y", {".....", ".....", "#...#", "#...#", ".####", "....#", ".###."}},
    {"z", {".....", ".....", "#####", "...#.", "..#..", ".#...", "#####"}},
    {"0", {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."}},
    {"1", {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {"2", {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"}},
    {"3", {"#####", "...#.", "..#..", "...#.", "....#", "#...#", ".###."}},
    {"4", {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."}},
    {"5", {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."}},
    {"6", {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."}},
    {"7", {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."}},
    {"8", {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."}},
    {"9", {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."}},
    {"+", {".....", "..#..", "..#..", "#####", "..#..", "..#..", "....."}},
    {"-", {".....", ".....", ".....", "#####", ".....", ".....", "....."}},
    {"=", {".....", ".....", "#####", ".....", "#####", ".....", "....."}},
    {"*", {".....", "..#..", "#.#.#", ".###.", "#.#.#", "..#..", "....."}},
    {",", {".....", ".....", ".....", ".....", ".##..", "..#..", ".#..."}},
    {".", {".....", ".....", ".....", ".....", ".....", ".##..", ".##.."}},
    {"/", {".....", "....#", "...#.", "..#..", ".#...", "#....", "....."}},
    {"\\", {".....", "#....", ".#...", "..#..", "...#.", "....#", "....."}},
    {";", {".....", ".##..", ".##..", ".....", ".##..", "..#..", ".#..."}},
    {"'", {".##..", "..#..", ".#...", ".....", ".....", ".....", "....."}},
    {"`", {".#...", "..#..", "...#.", ".....", ".....", ".....", "....."}},
    {"[", {".###.", ".#...", ".#...", ".#...", ".#...", ".#...", ".###."}},
    {"]", {".###.", "...#.", "...#.", "...#.", "...#.", "...#.", ".###."}},
    {"\xE2\x86\x90", {".....", "..#..", ".#...", "#####", ".#...", "..#..", "....."}},  // left
    {"\xE2\x86\x91", {"..#..", ".###.", "#.#.#", "..#..", "..#..", "..#..", "....."}},  // up
    {"\xE2\x86\x92", {".....", "..#..", "...#.", "#####", "...#.", "..#..", "....."}},  // right
    {"\xE2\x86\x93", {".....", "..#..", "..#..", "..#..", "#.#.#", ".###.", "..#.."}},  // down
};
// clang-format on

constexpr int32_t kCellW = 5, kCellH = 7, kAdvance = 6;

// The glyph at text[i] and the bytes it takes; nullptr for a character the font lacks.
const Glyph* GlyphAt(const std::string& text, size_t i, size_t* bytes) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    *bytes = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : 4;
    if (i + *bytes > text.size()) *bytes = text.size() - i;
    for (const Glyph& g : kGlyphs)
        if (std::strlen(g.key) == *bytes && text.compare(i, *bytes, g.key) == 0) return &g;
    return nullptr;
}

// A frame's pixels addressed from the top-left, at any layout.
class Surface {
public:
    Surface(uint8_t* frame, const FrameLayout& l)
        : frame_(frame),
          l_(l),
          stride_(RowBytes(l)),
          table_(l.bits == 8 ? frame + stride_ * size_t(l.H) : nullptr) {}

    bool Inside(int32_t x, int32_t y) const { return x >= 0 && y >= 0 && x < l_.W && y < l_.H; }
    uint8_t* At(int32_t x, int32_t y) const {
        const size_t row = size_t(l_.topDown ? y : l_.H - 1 - y);
        return frame_ + row * stride_ + size_t(x) * size_t(l_.bits / 8);
    }
    Rgb Get(int32_t x, int32_t y) const { return Decode(At(x, y)); }
    Rgb Decode(const uint8_t* p) const {
        switch (l_.bits) {
        case 8: return TableColour(*p);
        case 16: {
            const uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8;
            if (l_.green6)
                return Rgb{Widen5(v >> 11), uint8_t(((v >> 5) & 63) * 255 / 63), Widen5(v)};
            return Rgb{Widen5(v >> 10), Widen5(v >> 5), Widen5(v)};
        }
        default: return Rgb{p[2], p[1], p[0]};
        }
    }
    // The stored form of a colour: up to 4 bytes.
    struct Stored {
        uint8_t b[4];
    };
    Stored Encode(Rgb c) const {
        Stored s{};
        switch (l_.bits) {
        case 8: s.b[0] = Nearest(c); break;
        case 16: {
            const uint32_t v =
                l_.green6
                    ? (uint32_t(c.r >> 3) << 11 | uint32_t(c.g >> 2) << 5 | uint32_t(c.b >> 3))
                    : (uint32_t(c.r >> 3) << 10 | uint32_t(c.g >> 3) << 5 | uint32_t(c.b >> 3));
            s.b[0] = uint8_t(v);
            s.b[1] = uint8_t(v >> 8);
            break;
        }
        default:
            s.b[0] = c.b, s.b[1] = c.g, s.b[2] = c.r;
            // The fourth byte of 32-bit pixels is left as the capture wrote it.
            break;
        }
        return s;
    }
    void Put(int32_t x, int32_t y, const Stored& s) const {
        uint8_t* p = At(x, y);
        const int32_t n = l_.bits == 32 ? 3 : l_.bits / 8;
        for (int32_t i = 0; i < n; ++i) p[i] = s.b[i];
    }
    void Fill(int32_t x0, int32_t y0, int32_t x1, int32_t y1, Rgb c) const {
        x0 = std::max(x0, 0), y0 = std::max(y0, 0);
        x1 = std::min(x1, l_.W), y1 = std::min(y1, l_.H);
        if (x0 >= x1) return;
        const Stored s = Encode(c);
        const int32_t step = l_.bits / 8, n = l_.bits == 32 ? 3 : step;
        for (int32_t y = y0; y < y1; ++y) {
            uint8_t* p = At(x0, y);
            for (int32_t x = x0; x < x1; ++x, p += step)
                for (int32_t i = 0; i < n; ++i) p[i] = s.b[i];
        }
    }
    Rgb TableColour(uint8_t i) const {
        const uint8_t* e = table_ + size_t(i) * 4;
        return Rgb{e[2], e[1], e[0]};
    }
    uint8_t Nearest(Rgb c) const {
        int32_t best = 0;
        int64_t bestD = INT64_MAX;
        for (int32_t i = 0; i < 256; ++i) {
            const Rgb t = TableColour(uint8_t(i));
            const int64_t dr = int32_t(t.r) - c.r, dg = int32_t(t.g) - c.g, db = int32_t(t.b) - c.b;
            const int64_t d = dr * dr * 3 + dg * dg * 4 + db * db * 2;
            if (d < bestD) bestD = d, best = i;
        }
        return uint8_t(best);
    }
    const FrameLayout& Layout() const { return l_; }

private:
    static uint8_t Widen5(uint32_t v) { return uint8_t((v & 31) * 255 / 31); }
    uint8_t* frame_;
    FrameLayout l_;
    size_t stride_;
    const uint8_t* table_;
};

// alpha in 256ths.
Rgb Mix(Rgb under, Rgb over, uint32_t alpha) {
    const auto m = [alpha](uint8_t a, uint8_t b) {
        return uint8_t((a * (256 - alpha) + b * alpha + 128) >> 8);
    };
    return Rgb{m(under.r, over.r), m(under.g, over.g), m(under.b, over.b)};
}

bool IsModifier(uint32_t k) {
    return k == vk::Shift || k == vk::Control || k == vk::Menu || k == vk::LWin || k == vk::RWin ||
           (k >= vk::LShift && k <= vk::RMenu);
}

// Keys that type a character.
bool TypesCharacter(uint32_t k) {
    return (k >= '0' && k <= '9') || (k >= 'A' && k <= 'Z') || k == vk::Space ||
           (k >= vk::Numpad0 && k <= vk::Divide) || (k >= 0xBA && k <= 0xC0) ||
           (k >= 0xDB && k <= 0xDF) || k == 0xE2;
}

// The name of a key; empty for keys never shown.
std::string KeyName(uint32_t k) {
    if ((k >= '0' && k <= '9') || (k >= 'A' && k <= 'Z')) return std::string(1, char(k));
    if (k >= vk::F1 && k <= vk::F24) return "F" + std::to_string(k - vk::F1 + 1);
    if (k >= vk::Numpad0 && k <= vk::Numpad0 + 9) return "Num" + std::to_string(k - vk::Numpad0);
    switch (k) {
    case vk::Back: return "Backspace";
    case vk::Tab: return "Tab";
    case vk::Return: return "Enter";
    case vk::Pause: return "Pause";
    case vk::Escape: return "Esc";
    case vk::Space: return "Space";
    case vk::Prior: return "PgUp";
    case vk::Next: return "PgDn";
    case vk::End: return "End";
    case vk::Home: return "Home";
    case vk::Left: return "\xE2\x86\x90";
    case vk::Up: return "\xE2\x86\x91";
    case vk::Right: return "\xE2\x86\x92";
    case vk::Down: return "\xE2\x86\x93";
    case vk::Snapshot: return "PrtSc";
    case vk::Insert: return "Ins";
    case vk::Delete: return "Del";
    case vk::Apps: return "Menu";
    case 0x6A: return "Num*";
    case 0x6B: return "Num+";
    case 0x6D: return "Num-";
    case 0x6E: return "Num.";
    case 0x6F: return "Num/";
    // The punctuation keys by their marks on the US layout.
    case 0xBA: return ";";
    case 0xBB: return "=";
    case 0xBC: return ",";
    case 0xBD: return "-";
    case 0xBE: return ".";
    case 0xBF: return "/";
    case 0xC0: return "`";
    case 0xDB: return "[";
    case 0xDC: return "\\";
    case 0xDD: return "]";
    case 0xDE: return "'";
    default: return {};
    }
}

}  // namespace

std::string KeyText(uint32_t virtualKey, const Modifiers& held) {
    if (IsModifier(virtualKey)) return {};
    const std::string name = KeyName(virtualKey);
    if (name.empty()) return {};
    if (TypesCharacter(virtualKey) && (!(held.ctrl || held.alt || held.win) || held.altGr))
        return {};
    // Alt with number-pad digits types a character by its code.
    if (virtualKey >= vk::Numpad0 && virtualKey <= vk::Numpad0 + 9 && held.alt &&
        !(held.ctrl || held.win))
        return {};
    std::string text;
    if (held.ctrl) text += "Ctrl+";
    if (held.alt) text += "Alt+";
    if (held.shift) text += "Shift+";
    if (held.win) text += "Win+";
    return text + name;
}

Modifiers InputOverlay::Held() const {
    Modifiers m;
    m.ctrl = down_[vk::Control] || down_[vk::LControl] || down_[vk::RControl];
    m.alt = down_[vk::Menu] || down_[vk::LMenu] || down_[vk::RMenu];
    m.shift = down_[vk::Shift] || down_[vk::LShift] || down_[vk::RShift];
    m.win = down_[vk::LWin] || down_[vk::RWin];
    m.altGr = down_[vk::RMenu] && m.ctrl;
    return m;
}

void InputOverlay::Press(MouseButton button, int32_t screenX, int32_t screenY, double now) {
    (void)now;
    if (!clicks_) return;
    // A burst of presses keeps the newest; each ring lives half a second anyway.
    if (rings_.size() >= kMaxRings) rings_.erase(rings_.begin());
    rings_.push_back(Ring{button, screenX, screenY, -1});
}

void InputOverlay::KeyDown(uint32_t virtualKey, double now) {
    (void)now;
    if (virtualKey > 255) return;
    const bool repeat = down_[virtualKey];
    down_[virtualKey] = true;
    if (!keys_ || repeat) return;
    std::string text = KeyText(virtualKey, Held());
    if (text.empty()) return;
    if (shownKeys_.size() >= overlay::kMaxKeys) shownKeys_.erase(shownKeys_.begin());
    shownKeys_.push_back(Key{std::move(text), -1});
}

void InputOverlay::KeyUp(uint32_t virtualKey) {
    if (virtualKey <= 255) down_[virtualKey] = false;
}

std::vector<std::string> InputOverlay::KeyTexts() const {
    std::vector<std::string> t;
    for (const Key& k : shownKeys_) t.push_back(k.text);
    return t;
}

void InputOverlay::DrawOverFrame(uint8_t* frame, const FrameLayout& layout, int32_t rectX,
                                 int32_t rectY, double now) {
    // The fades count from the first frame that shows each item, so even one frame a second
    // shows every press once.
    size_t keep = 0;
    for (Ring& r : rings_) {
        if (r.shown < 0) r.shown = now;
        const double alpha = 1 - (now - r.shown) / overlay::kRingFadeMs;
        if (alpha <= 0) continue;
        overlay::DrawRing(
            frame, layout, r.x - rectX, r.y - rectY,
            r.button == MouseButton::Left ? overlay::kLeftColour : overlay::kRightColour, alpha);
        rings_[keep++] = r;
    }
    rings_.resize(keep);

    keep = 0;
    for (size_t i = 0; i < shownKeys_.size(); ++i) {
        Key& k = shownKeys_[i];
        if (k.shown < 0) k.shown = now;
        if (now - k.shown >= overlay::kKeyShowMs) continue;
        if (keep != i) std::swap(shownKeys_[keep], k);
        ++keep;
    }
    shownKeys_.resize(keep);
    // Assigned into the strings already there, which keep their room.
    drawn_.resize(keep);
    for (size_t i = 0; i < keep; ++i) drawn_[i] = shownKeys_[i].text;
    if (keep > 0) overlay::DrawKeyBoxes(frame, layout, drawn_);
}

void QueuedInput::Post(const Event& e) {
    std::lock_guard<std::mutex> hold(lock_);
    if (pending_.size() < kMaxPending) pending_.push_back(e);
}

void QueuedInput::DrawOverFrame(uint8_t* frame, const FrameLayout& layout, int32_t rectX,
                                int32_t rectY, double now) {
    {
        // Only what happened before the frame was grabbed; the rest waits for the next one.
        std::lock_guard<std::mutex> hold(lock_);
        size_t n = 0;
        while (n < pending_.size() && pending_[n].time <= now) ++n;
        taken_.assign(pending_.begin(), pending_.begin() + std::ptrdiff_t(n));
        pending_.erase(pending_.begin(), pending_.begin() + std::ptrdiff_t(n));
    }
    for (const Event& e : taken_) {
        switch (e.kind) {
        case Kind::LeftPress: overlay_.Press(MouseButton::Left, e.x, e.y, e.time); break;
        case Kind::RightPress: overlay_.Press(MouseButton::Right, e.x, e.y, e.time); break;
        case Kind::KeyDown: overlay_.KeyDown(e.virtualKey, e.time); break;
        case Kind::KeyUp: overlay_.KeyUp(e.virtualKey); break;
        }
    }
    overlay_.DrawOverFrame(frame, layout, rectX, rectY, now);
}

namespace overlay {

void DrawRing(uint8_t* frame, const FrameLayout& layout, int32_t cx, int32_t cy, Rgb colour,
              double alpha) {
    if (cx + kRingOuter < 0 || cy + kRingOuter < 0 || cx - kRingOuter >= layout.W ||
        cy - kRingOuter >= layout.H)
        return;
    const Surface s(frame, layout);
    const uint32_t a = uint32_t(std::lround(std::clamp(alpha, 0.0, 1.0) * 256));
    if (a == 0) return;
    // 8 bits: each table entry mixed once, then its nearest entry.
    int16_t mixed[256];
    if (layout.bits == 8 && a < 256) std::fill(std::begin(mixed), std::end(mixed), int16_t(-1));
    const Surface::Stored solid = s.Encode(colour);
    const int32_t ro2 = kRingOuter * kRingOuter, ri2 = kRingInner * kRingInner;
    const int32_t step = layout.bits / 8;
    const auto paint = [&](int32_t y, int32_t x0, int32_t x1) {
        x0 = std::max(x0, 0), x1 = std::min(x1, layout.W - 1);
        if (x0 > x1) return;
        uint8_t* p = s.At(x0, y);
        for (int32_t x = x0; x <= x1; ++x, p += step) {
            if (a >= 256) {
                for (int32_t i = 0; i < (step == 4 ? 3 : step); ++i) p[i] = solid.b[i];
            } else if (step == 1) {
                if (mixed[*p] < 0) mixed[*p] = s.Nearest(Mix(s.TableColour(*p), colour, a));
                *p = uint8_t(mixed[*p]);
            } else if (step == 2) {
                const Surface::Stored m = s.Encode(Mix(s.Decode(p), colour, a));
                p[0] = m.b[0], p[1] = m.b[1];
            } else {
                p[0] = uint8_t((p[0] * (256 - a) + colour.b * a + 128) >> 8);
                p[1] = uint8_t((p[1] * (256 - a) + colour.g * a + 128) >> 8);
                p[2] = uint8_t((p[2] * (256 - a) + colour.r * a + 128) >> 8);
            }
        }
    };
    for (int32_t dy = -kRingOuter; dy <= kRingOuter; ++dy) {
        const int32_t y = cy + dy;
        if (y < 0 || y >= layout.H) continue;
        // The row's band: |dx| from the inner to the outer edge.
        int32_t outer = 0;
        while ((outer + 1) * (outer + 1) + dy * dy <= ro2) ++outer;
        int32_t inner = 0;
        while (inner * inner + dy * dy < ri2) ++inner;
        if (inner > outer) continue;
        if (inner == 0) {
            paint(y, cx - outer, cx + outer);
        } else {
            paint(y, cx - outer, cx - inner);
            paint(y, cx + inner, cx + outer);
        }
    }
}

int32_t FontScale(int32_t frameHeight) { return std::clamp(frameHeight / 200 + 1, 1, 4); }

int32_t TextWidth(const std::string& text, int32_t scale) {
    int32_t n = 0;
    for (size_t i = 0, b = 0; i < text.size(); i += std::max<size_t>(b, 1)) {
        GlyphAt(text, i, &b);
        ++n;
    }
    return n == 0 ? 0 : (n * kAdvance - 1) * scale;
}

bool FontCovers(const std::string& text) {
    for (size_t i = 0, b = 0; i < text.size(); i += std::max<size_t>(b, 1))
        if (!GlyphAt(text, i, &b)) return false;
    return true;
}

void DrawKeyBoxes(uint8_t* frame, const FrameLayout& layout,
                  const std::vector<std::string>& texts) {
    const Surface s(frame, layout);
    const int32_t k = FontScale(layout.H);
    const int32_t pad = 3 * k, edge = std::max(1, k / 2), gap = 4 * k;
    const int32_t boxH = kCellH * k + 2 * pad;
    const auto boxW = [&](const std::string& t) { return TextWidth(t, k) + 2 * pad; };
    // The last ones that fit side by side (the last one always, clipped if need be).
    size_t first = texts.size() - 1;
    int32_t total = boxW(texts.back());
    while (first > 0 && total + gap + boxW(texts[first - 1]) <= layout.W - 2 * gap) {
        --first;
        total += gap + boxW(texts[first]);
    }
    const int32_t top = layout.H - boxH - 4 * k;
    int32_t left = (layout.W - total) / 2;
    const Surface::Stored ink = s.Encode(kBoxText);
    for (size_t t = first; t < texts.size(); ++t) {
        const int32_t w = boxW(texts[t]);
        s.Fill(left, top, left + w, top + boxH, kBoxEdge);
        s.Fill(left + edge, top + edge, left + w - edge, top + boxH - edge, kBoxFill);
        int32_t gx = left + pad;
        const std::string& text = texts[t];
        for (size_t i = 0, b = 0; i < text.size();
             i += std::max<size_t>(b, 1), gx += kAdvance * k) {
            const Glyph* g = GlyphAt(text, i, &b);
            if (!g) continue;
            for (int32_t row = 0; row < kCellH; ++row)
                for (int32_t col = 0; col < kCellW; ++col) {
                    if (g->rows[row][col] != '#') continue;
                    for (int32_t py = 0; py < k; ++py)
                        for (int32_t px = 0; px < k; ++px) {
                            const int32_t x = gx + col * k + px, y = top + pad + row * k + py;
                            if (s.Inside(x, y)) s.Put(x, y, ink);
                        }
                }
        }
        left += w + gap;
    }
}

Rgb PixelAt(const uint8_t* frame, const FrameLayout& layout, int32_t x, int32_t y) {
    return Surface(const_cast<uint8_t*>(frame), layout).Get(x, y);
}

Rgb Representable(const uint8_t* frame, const FrameLayout& layout, Rgb c) {
    const Surface s(const_cast<uint8_t*>(frame), layout);
    const Surface::Stored st = s.Encode(c);
    return s.Decode(st.b);
}

}  // namespace overlay

}  // namespace tqk
