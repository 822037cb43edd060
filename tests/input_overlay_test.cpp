// Clicks and keys drawn into frames: the ring's place, clipping and fade at every frame layout,
// the key texts and what is never shown, the key boxes' place.
#include "input_overlay.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <thread>
#include <vector>

namespace tqk {
namespace {

using overlay::kRingInner;
using overlay::kRingOuter;

constexpr size_t kGuard = 64;
constexpr uint8_t kGuardByte = 0xA5;

// A frame filled with one grey, guarded on both sides so that a write outside it shows.
struct TestFrame {
    FrameLayout l;
    std::vector<uint8_t> bytes;

    TestFrame(int32_t w, int32_t h, int32_t bits, bool topDown, bool green6 = false) {
        l.W = w, l.H = h, l.bits = bits, l.topDown = topDown, l.green6 = green6;
        const size_t size = RowBytes(l) * size_t(h) + (bits == 8 ? 1024 : 0);
        bytes.assign(size + 2 * kGuard, kGuardByte);
        uint8_t* f = Frame();
        if (bits == 8) {
            // A table of the 6 x 6 x 6 colour cube and greys; the picture is grey entry 220.
            uint8_t* table = f + RowBytes(l) * size_t(h);
            for (int i = 0; i < 256; ++i) {
                uint8_t r, g, b;
                if (i < 216) {
                    r = uint8_t(i / 36 * 51), g = uint8_t(i / 6 % 6 * 51), b = uint8_t(i % 6 * 51);
                } else {
                    r = g = b = uint8_t((i - 216) * 6);
                }
                table[i * 4] = b, table[i * 4 + 1] = g, table[i * 4 + 2] = r, table[i * 4 + 3] = 0;
            }
            std::fill(f, f + RowBytes(l) * size_t(h), uint8_t(220));
        } else {
            const Rgb grey = overlay::Representable(f, l, Rgb{96, 96, 96});
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x) Set(x, y, grey);
        }
        original = bytes;
    }
    uint8_t* Frame() { return bytes.data() + kGuard; }
    Rgb At(int32_t x, int32_t y) { return overlay::PixelAt(Frame(), l, x, y); }
    Rgb Before(int32_t x, int32_t y) { return overlay::PixelAt(original.data() + kGuard, l, x, y); }
    void Set(int32_t x, int32_t y, Rgb c) {
        uint8_t* row = Frame() + RowBytes(l) * size_t(l.topDown ? y : l.H - 1 - y);
        uint8_t* p = row + size_t(x) * size_t(l.bits / 8);
        if (l.bits == 16) {
            const uint32_t v = l.green6 ? (c.r >> 3) << 11 | (c.g >> 2) << 5 | c.b >> 3
                                        : (c.r >> 3) << 10 | (c.g >> 3) << 5 | c.b >> 3;
            p[0] = uint8_t(v), p[1] = uint8_t(v >> 8);
        } else {
            p[0] = c.b, p[1] = c.g, p[2] = c.r;
        }
    }
    bool GuardsWhole() const {
        for (size_t i = 0; i < kGuard; ++i)
            if (bytes[i] != kGuardByte || bytes[bytes.size() - 1 - i] != kGuardByte) return false;
        return true;
    }
    std::vector<uint8_t> original;
};

bool InRing(int32_t dx, int32_t dy) {
    const int32_t d2 = dx * dx + dy * dy;
    return d2 >= kRingInner * kRingInner && d2 <= kRingOuter * kRingOuter;
}

struct Depth {
    int32_t bits;
    bool topDown, green6;
};
const Depth kDepths[] = {{8, false, false}, {16, false, false}, {16, true, true},
                         {16, true, false}, {24, false, false}, {32, false, false},
                         {32, true, false}};

std::string Name(const Depth& d) {
    return std::to_string(d.bits) + (d.green6 ? "-565" : "") + (d.topDown ? " top-down" : "");
}

// Every pixel inside the ring holds the colour; every other one is as it was.
void ExpectRingOnly(TestFrame& f, int32_t cx, int32_t cy, Rgb colour) {
    const Rgb want = overlay::Representable(f.Frame(), f.l, colour);
    int32_t drawn = 0;
    for (int32_t y = 0; y < f.l.H; ++y)
        for (int32_t x = 0; x < f.l.W; ++x) {
            if (InRing(x - cx, y - cy)) {
                ASSERT_EQ(f.At(x, y), want) << x << "," << y;
                ++drawn;
            } else {
                ASSERT_EQ(f.At(x, y), f.Before(x, y)) << x << "," << y;
            }
        }
    (void)drawn;
    EXPECT_TRUE(f.GuardsWhole());
}

TEST(InputOverlayRing, AtTheCentreEachEdgeAndCornerOnEveryDepth) {
    constexpr int32_t w = 120, h = 80;
    const std::pair<int32_t, int32_t> places[] = {
        {60, 40},
        {0, 40},
        {w - 1, 40},
        {60, 0},
        {60, h - 1},  // centre, edges
        {0, 0},
        {w - 1, 0},
        {0, h - 1},
        {w - 1, h - 1},  // corners
        {-kRingOuter + 2, 40},
        {w + kRingOuter - 3, h + 5},  // mostly outside
    };
    for (const Depth& d : kDepths)
        for (auto [cx, cy] : places) {
            SCOPED_TRACE(Name(d) + " at " + std::to_string(cx) + "," + std::to_string(cy));
            TestFrame f(w, h, d.bits, d.topDown, d.green6);
            overlay::DrawRing(f.Frame(), f.l, cx, cy, overlay::kLeftColour, 1.0);
            ExpectRingOnly(f, cx, cy, overlay::kLeftColour);
        }
}

TEST(InputOverlayRing, LeftAndRightAreClearlyDifferentAtEveryDepth) {
    for (const Depth& d : kDepths) {
        SCOPED_TRACE(Name(d));
        TestFrame f(40, 40, d.bits, d.topDown, d.green6);
        const Rgb l = overlay::Representable(f.Frame(), f.l, overlay::kLeftColour);
        const Rgb r = overlay::Representable(f.Frame(), f.l, overlay::kRightColour);
        EXPECT_GT(l.r, 180);
        EXPECT_LT(l.b, 100);
        EXPECT_GT(r.b, 180);
        EXPECT_LT(r.r, 100);
    }
}

TEST(InputOverlayRing, PressOutsideTheRectangleDrawsNothing) {
    InputOverlay o(true, true);
    o.Press(MouseButton::Left, 500, 500, 0);  // far right and below
    o.Press(MouseButton::Right, 90, -30, 0);  // just beyond the ring's reach above
    TestFrame f(64, 48, 32, false);
    o.DrawOverFrame(f.Frame(), f.l, 100, 10, 1);
    EXPECT_EQ(f.bytes, f.original);
}

// The frame's rectangle moved between press and frame (following the mouse): the ring stays
// at the pressed point of the screen.
TEST(InputOverlayRing, StaysAtTheScreenPointWhenTheRectangleMoves) {
    InputOverlay o(true, false);
    o.Press(MouseButton::Right, 300, 200, 0);
    TestFrame f(120, 80, 24, false);
    o.DrawOverFrame(f.Frame(), f.l, 250, 170, 10);
    ExpectRingOnly(f, 50, 30, overlay::kRightColour);
}

TEST(InputOverlayRing, FadesOverHalfASecondFromItsFirstFrameThenLeavesNothing) {
    for (const Depth& d : kDepths) {
        SCOPED_TRACE(Name(d));
        InputOverlay o(true, false);
        o.Press(MouseButton::Left, 40, 30, 1000);
        // 60 frames a second from the first frame after the press.
        const double period = 1000.0 / 60;
        std::vector<int> distance;  // from the pure colour, at a ring pixel, frame by frame
        int frames = 0;
        for (int k = 0; k < 60; ++k) {
            TestFrame f(80, 60, d.bits, d.topDown, d.green6);
            o.DrawOverFrame(f.Frame(), f.l, 0, 0, 1010 + k * period);
            const Rgb at = f.At(40 + (kRingInner + kRingOuter) / 2, 30);
            const Rgb pure = overlay::Representable(f.Frame(), f.l, overlay::kLeftColour);
            if (k == 0) {
                ExpectRingOnly(f, 40, 30, overlay::kLeftColour);
            }
            if (f.bytes != f.original) frames = k + 1;
            distance.push_back(std::abs(at.r - pure.r) + std::abs(at.g - pure.g) +
                               std::abs(at.b - pure.b));
            if (k * period >= overlay::kRingFadeMs) {
                EXPECT_EQ(f.bytes, f.original) << "frame " << k;
            }
        }
        // Visible for half a second (30 frames at 60 fps), fading all the way; at 16 bits the
        // faintest step may round back to the picture.
        EXPECT_GE(frames, 28);
        EXPECT_LE(frames, 30);
        EXPECT_EQ(distance[0], 0);
        EXPECT_GT(distance[15], distance[2]);
        EXPECT_GE(distance[28], distance[15]);
        EXPECT_EQ(o.RingCount(), 0u);
    }
}

TEST(InputOverlayRing, FirstShownInTheFirstFrameEvenAtOneFrameASecond) {
    InputOverlay o(true, false);
    o.Press(MouseButton::Left, 40, 30, 0);
    TestFrame a(80, 60, 32, false);
    o.DrawOverFrame(a.Frame(), a.l, 0, 0, 900);  // 900 ms after the press
    ExpectRingOnly(a, 40, 30, overlay::kLeftColour);
    TestFrame b(80, 60, 32, false);
    o.DrawOverFrame(b.Frame(), b.l, 0, 0, 1900);
    EXPECT_EQ(b.bytes, b.original);
}

TEST(InputOverlayRing, TwoPressesCloseTogetherBothShowTheLaterOnTop) {
    InputOverlay o(true, false);
    o.Press(MouseButton::Left, 50, 40, 0);
    o.Press(MouseButton::Right, 62, 40, 5);
    TestFrame f(120, 80, 32, false);
    o.DrawOverFrame(f.Frame(), f.l, 0, 0, 20);
    EXPECT_EQ(o.RingCount(), 2u);
    const Rgb left = overlay::kLeftColour, right = overlay::kRightColour;
    EXPECT_EQ(f.At(50 - 17, 40), left);         // only the left ring reaches there
    EXPECT_EQ(f.At(62 + 17, 40), right);        // only the right one
    EXPECT_EQ(f.At(56, 56), right);             // both: the later press on top
    EXPECT_EQ(f.At(56, 40), f.Before(56, 40));  // inside both rings
}

TEST(InputOverlayRing, OffWhenClicksAreNotShown) {
    InputOverlay o(false, true);
    o.Press(MouseButton::Left, 40, 30, 0);
    TestFrame f(80, 60, 32, false);
    o.DrawOverFrame(f.Frame(), f.l, 0, 0, 10);
    EXPECT_EQ(f.bytes, f.original);
}

// Presses come from the hooks' thread: each joins the first frame grabbed after it.
TEST(InputOverlayQueue, APressJoinsTheFirstFrameGrabbedAfterIt) {
    QueuedInput q(true, true);
    std::thread hooks([&] {
        q.Post({QueuedInput::Kind::LeftPress, 40, 30, 0, 100});
        q.Post({QueuedInput::Kind::KeyDown, 0, 0, vk::LControl, 101});
        q.Post({QueuedInput::Kind::KeyDown, 0, 0, 'V', 102});
        q.Post({QueuedInput::Kind::KeyUp, 0, 0, 'V', 103});
        q.Post({QueuedInput::Kind::KeyUp, 0, 0, vk::LControl, 104});
    });
    hooks.join();
    TestFrame before(320, 240, 32, false);
    q.DrawOverFrame(before.Frame(), before.l, 0, 0, 99);  // grabbed before the press
    EXPECT_EQ(before.bytes, before.original);
    TestFrame at(320, 240, 32, false);
    q.DrawOverFrame(at.Frame(), at.l, 0, 0, 101.5);  // the press and Ctrl, not yet V
    EXPECT_EQ(q.Overlay().RingCount(), 1u);
    EXPECT_TRUE(q.Overlay().KeyTexts().empty());
    EXPECT_EQ(at.At(40 + kRingInner, 30), overlay::kLeftColour);
    TestFrame after(320, 240, 32, false);
    q.DrawOverFrame(after.Frame(), after.l, 0, 0, 120);
    EXPECT_EQ(q.Overlay().KeyTexts(), std::vector<std::string>{"Ctrl+V"});
}

TEST(InputOverlayKeys, TextsOfShortcutsAndNamedKeys) {
    Modifiers none, ctrl, alt, shift, win, ctrlShift, ctrlAlt;
    ctrl.ctrl = true;
    alt.alt = true;
    shift.shift = true;
    win.win = true;
    ctrlShift.ctrl = ctrlShift.shift = true;
    ctrlAlt.ctrl = ctrlAlt.alt = true;
    const struct {
        uint32_t key;
        Modifiers held;
        const char* text;
    } cases[] = {
        {'C', ctrl, "Ctrl+C"},
        {vk::Tab, alt, "Alt+Tab"},
        {vk::Return, none, "Enter"},
        {vk::F1 + 4, none, "F5"},
        {vk::Left, none, "\xE2\x86\x90"},
        {vk::Up, shift, "Shift+\xE2\x86\x91"},
        {vk::Right, ctrl, "Ctrl+\xE2\x86\x92"},
        {vk::Down, none, "\xE2\x86\x93"},
        {'S', ctrlShift, "Ctrl+Shift+S"},
        {vk::Delete, ctrlAlt, "Ctrl+Alt+Del"},
        {vk::Escape, ctrlShift, "Ctrl+Shift+Esc"},
        {'E', win, "Win+E"},
        {'4', alt, "Alt+4"},
        {vk::Space, ctrl, "Ctrl+Space"},
        {0xBF, ctrl, "Ctrl+/"},
        {vk::Tab, shift, "Shift+Tab"},
        {vk::Back, none, "Backspace"},
        {vk::Prior, none, "PgUp"},
        {vk::F24, alt, "Alt+F24"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(KeyText(c.key, c.held), c.text);
    }
}

TEST(InputOverlayKeys, LettersDigitsAndMarksAloneOrWithShiftOrAltGrAreNeverShown) {
    Modifiers none, shift, altGr;
    shift.shift = true;
    altGr.ctrl = altGr.alt = altGr.altGr = true;
    for (uint32_t k = 0; k < 256; ++k) {
        const std::string alone = KeyText(k, none);
        const bool character = (k >= '0' && k <= '9') || (k >= 'A' && k <= 'Z') || k == vk::Space ||
                               (k >= 0x60 && k <= 0x6F) || (k >= 0xBA && k <= 0xC0) ||
                               (k >= 0xDB && k <= 0xDE);
        if (character) {
            EXPECT_EQ(alone, "") << k;
            EXPECT_EQ(KeyText(k, shift), "") << k;
            EXPECT_EQ(KeyText(k, altGr), "") << k;
        }
        // Whatever is shown can be drawn by the font.
        for (const Modifiers& m : {none, shift}) EXPECT_TRUE(overlay::FontCovers(KeyText(k, m)));
    }
    Modifiers alt;
    alt.alt = true;
    for (uint32_t k = vk::Numpad0; k <= vk::Numpad0 + 9; ++k) EXPECT_EQ(KeyText(k, alt), "") << k;
    for (uint32_t k : {vk::Shift, vk::Control, vk::Menu, vk::LWin, vk::RWin, vk::LShift, vk::RShift,
                       vk::LControl, vk::RControl, vk::LMenu, vk::RMenu}) {
        EXPECT_EQ(KeyText(k, none), "") << k;
    }
}

// Typing with the overlay on: a password with capitals, digits and marks leaves no text and
// no pixel; the shortcut that follows is shown.
TEST(InputOverlayKeys, TypingLeavesNothingAShortcutIsShown) {
    InputOverlay o(true, true);
    const auto tap = [&](uint32_t k) {
        o.KeyDown(k, 0);
        o.KeyUp(k);
    };
    o.KeyDown(vk::LShift, 0);
    tap('P');
    o.KeyUp(vk::LShift);
    for (uint32_t k : {uint32_t('A'), uint32_t('S'), uint32_t('1'), uint32_t(0xBD), vk::Space})
        tap(k);
    o.KeyDown(vk::LControl, 0);
    o.KeyDown(vk::RMenu, 0);  // AltGr
    tap('Q');
    o.KeyUp(vk::RMenu);
    o.KeyUp(vk::LControl);
    EXPECT_TRUE(o.KeyTexts().empty());
    TestFrame f(320, 240, 32, false);
    o.DrawOverFrame(f.Frame(), f.l, 0, 0, 10);
    EXPECT_EQ(f.bytes, f.original);

    o.KeyDown(vk::LControl, 20);
    o.KeyDown('C', 20);
    o.KeyDown('C', 40);  // held: the platform repeats it
    o.KeyDown('C', 60);
    o.KeyUp('C');
    o.KeyUp(vk::LControl);
    tap(vk::Return);
    EXPECT_EQ(o.KeyTexts(), (std::vector<std::string>{"Ctrl+C", "Enter"}));
}

TEST(InputOverlayKeys, TheLatestFewStayForOneAndAHalfSeconds) {
    InputOverlay o(false, true);
    for (uint32_t f = 0; f < 6; ++f) {
        o.KeyDown(vk::F1 + f, 0);
        o.KeyUp(vk::F1 + f);
    }
    EXPECT_EQ(o.KeyTexts(), (std::vector<std::string>{"F3", "F4", "F5", "F6"}));
    TestFrame a(640, 480, 32, false);
    o.DrawOverFrame(a.Frame(), a.l, 0, 0, 100);
    EXPECT_NE(a.bytes, a.original);
    TestFrame b(640, 480, 32, false);
    o.DrawOverFrame(b.Frame(), b.l, 0, 0, 100 + overlay::kKeyShowMs - 1);
    EXPECT_NE(b.bytes, b.original);
    TestFrame c(640, 480, 32, false);
    o.DrawOverFrame(c.Frame(), c.l, 0, 0, 100 + overlay::kKeyShowMs);
    EXPECT_EQ(c.bytes, c.original);
    EXPECT_TRUE(o.KeyTexts().empty());
}

// The box near the bottom, centred, with the text's white pixels inside its dark fill.
TEST(InputOverlayKeys, BoxNearTheBottomCentredOnEveryDepth) {
    for (const Depth& d : kDepths) {
        SCOPED_TRACE(Name(d));
        TestFrame f(400, 300, d.bits, d.topDown, d.green6);
        overlay::DrawKeyBoxes(f.Frame(), f.l, {"Ctrl+C"});
        int32_t x0 = f.l.W, x1 = -1, y0 = f.l.H, y1 = -1, white = 0;
        const Rgb ink = overlay::Representable(f.Frame(), f.l, overlay::kBoxText);
        for (int32_t y = 0; y < f.l.H; ++y)
            for (int32_t x = 0; x < f.l.W; ++x) {
                if (f.At(x, y) == f.Before(x, y)) continue;
                x0 = std::min(x0, x), x1 = std::max(x1, x);
                y0 = std::min(y0, y), y1 = std::max(y1, y);
                if (f.At(x, y) == ink) ++white;
            }
        const int32_t k = overlay::FontScale(300);
        const int32_t boxW = overlay::TextWidth("Ctrl+C", k) + 6 * k;
        EXPECT_EQ(x1 - x0 + 1, boxW);
        EXPECT_EQ(y1 - y0 + 1, 7 * k + 6 * k);
        EXPECT_LE(std::abs((x0 + x1) / 2 - f.l.W / 2), 1);
        EXPECT_EQ(y1, f.l.H - 1 - 4 * k);
        EXPECT_GT(white, 20 * k * k);
        EXPECT_TRUE(f.GuardsWhole());
    }
}

TEST(InputOverlayKeys, BoxesSideBySideTheLatestRightmostAndClippedInASmallFrame) {
    TestFrame f(640, 240, 32, false);
    overlay::DrawKeyBoxes(f.Frame(), f.l, {"Alt+Tab", "F5"});
    const int32_t k = overlay::FontScale(240);
    const int32_t wa = overlay::TextWidth("Alt+Tab", k) + 6 * k;
    const int32_t wb = overlay::TextWidth("F5", k) + 6 * k;
    const int32_t total = wa + 4 * k + wb;
    const int32_t left = (640 - total) / 2;
    const int32_t y = 240 - 4 * k - 2;
    const Rgb edge = overlay::kBoxEdge;
    EXPECT_EQ(f.At(left, y), edge);
    EXPECT_EQ(f.At(left + wa - 1, y), edge);
    EXPECT_EQ(f.At(left + wa + 1, y), f.Before(left + wa + 1, y));  // the gap
    EXPECT_EQ(f.At(left + wa + 4 * k, y), edge);
    EXPECT_EQ(f.At(left + total - 1, y), edge);

    // Far too narrow: only the latest, clipped, and nothing written outside the frame.
    TestFrame s(12, 8, 24, false);
    overlay::DrawKeyBoxes(s.Frame(), s.l, {"Ctrl+Shift+Esc", "Ctrl+Alt+Del"});
    EXPECT_NE(s.bytes, s.original);
    EXPECT_TRUE(s.GuardsWhole());
}

}  // namespace
}  // namespace tqk
