// Clicks and key presses drawn into recorded frames: a ring around each mouse press that fades
// out, and the latest shortcuts as text in boxes near the bottom of the frame. Portable: no
// <windows.h>; the recorder feeds it from the platform's input hooks and the engine hands it
// each captured frame (FrameOverlay).
//
// Nothing pressed is kept beyond the few texts on show, and nothing is written anywhere but
// into the frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace tqk {

// How the pixels of a frame lie in its buffer.
struct FrameLayout {
    int32_t W = 0, H = 0;
    int32_t bits = 32;     // 8, 16, 24 or 32
    bool topDown = false;  // device-dependent rows run top-down; device-independent bottom-up
    bool green6 = false;   // 16 bits: 5-6-5 rather than 5-5-5
    // 8 bits: the frame ends with its 256-entry colour table (blue, green, red, 0 each).
};

// Bytes of one row (every recordable width keeps rows on 4-byte boundaries).
inline size_t RowBytes(const FrameLayout& l) { return size_t(l.W) * size_t(l.bits) / 8; }

// Something drawn over each captured frame, after the cursor and before packing.
class FrameOverlay {
public:
    virtual ~FrameOverlay() = default;
    // frame: the captured frame in layout; (rectX, rectY): where its top-left corner lies on
    // the screen; now: the frame's grab time (PerfMillis).
    virtual void DrawOverFrame(uint8_t* frame, const FrameLayout& layout, int32_t rectX,
                               int32_t rectY, double now) = 0;
};

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

namespace overlay {
// A ring is the band between these radii around the pressed point (frame pixels).
constexpr int32_t kRingInner = 14;
constexpr int32_t kRingOuter = 20;
// Fully drawn in the first frame after the press, gone this long after it.
constexpr double kRingFadeMs = 500;
// A key text stays this long from the first frame that shows it.
constexpr double kKeyShowMs = 1500;
// At most this many key texts side by side; the oldest goes first.
constexpr size_t kMaxKeys = 4;
constexpr Rgb kLeftColour{255, 40, 40};    // red
constexpr Rgb kRightColour{40, 120, 255};  // blue
constexpr Rgb kBoxFill{32, 32, 32};
constexpr Rgb kBoxEdge{200, 200, 200};
constexpr Rgb kBoxText{255, 255, 255};
}  // namespace overlay

enum class MouseButton { Left, Right };

// The virtual-key codes the key texts know (the platform's values).
namespace vk {
constexpr uint32_t Back = 0x08, Tab = 0x09, Return = 0x0D, Shift = 0x10, Control = 0x11,
                   Menu = 0x12, Pause = 0x13, Escape = 0x1B, Space = 0x20, Prior = 0x21,
                   Next = 0x22, End = 0x23, Home = 0x24, Left = 0x25, Up = 0x26, Right = 0x27,
                   Down = 0x28, Snapshot = 0x2C, Insert = 0x2D, Delete = 0x2E, LWin = 0x5B,
                   RWin = 0x5C, Apps = 0x5D, Numpad0 = 0x60, Divide = 0x6F, F1 = 0x70, F24 = 0x87,
                   LShift = 0xA0, RShift = 0xA1, LControl = 0xA2, RControl = 0xA3, LMenu = 0xA4,
                   RMenu = 0xA5;
}  // namespace vk

// The modifiers held with a key.
struct Modifiers {
    bool ctrl = false, alt = false, shift = false, win = false;
    bool altGr = false;  // the right Alt with Ctrl: on many layouts it types characters
};

// The text shown for a key pressed with the modifiers held, "Ctrl+C", "Alt+Tab", "Enter",
// "F5", "←"; empty when the press is not shown. Keys that type a character (letters, digits,
// the space bar, punctuation, the number pad) are shown only with Ctrl, Alt or the Windows key
// and never with AltGr (nor number-pad digits with Alt alone, which type a character by its
// code), so typing and passwords never appear; modifiers alone are not shown.
std::string KeyText(uint32_t virtualKey, const Modifiers& held);

// The input of one recording and its drawing, on one thread (QueuedInput brings presses from
// another).
class InputOverlay : public FrameOverlay {
public:
    InputOverlay(bool clicks, bool keys) : clicks_(clicks), keys_(keys) {
        // Room made once: drawing a frame allocates nothing once the texts have been seen.
        rings_.reserve(kMaxRings);
        shownKeys_.reserve(overlay::kMaxKeys + 1);
        drawn_.reserve(overlay::kMaxKeys);
    }

    void Press(MouseButton button, int32_t screenX, int32_t screenY, double now);
    // A key went down (repeats of a held key are ignored) or up.
    void KeyDown(uint32_t virtualKey, double now);
    void KeyUp(uint32_t virtualKey);

    void DrawOverFrame(uint8_t* frame, const FrameLayout& layout, int32_t rectX, int32_t rectY,
                       double now) override;

    // What is on show (for tests): rings and key texts not yet faded.
    size_t RingCount() const { return rings_.size(); }
    std::vector<std::string> KeyTexts() const;

private:
    struct Ring {
        MouseButton button;
        int32_t x, y;       // screen pixels
        double shown = -1;  // first frame's time; -1 before it
    };
    struct Key {
        std::string text;
        double shown = -1;
    };
    Modifiers Held() const;

    static constexpr size_t kMaxRings = 32;  // a burst keeps its newest
    bool clicks_, keys_;
    std::vector<Ring> rings_;
    std::vector<Key> shownKeys_;
    std::vector<std::string> drawn_;  // the texts of the frame being drawn
    bool down_[256] = {};
};

// Presses posted from another thread (the hooks' own) and handed to an InputOverlay at each
// frame: a press joins the first frame grabbed after it, never one grabbed before.
class QueuedInput : public FrameOverlay {
public:
    enum class Kind : uint8_t { LeftPress, RightPress, KeyDown, KeyUp };
    struct Event {
        Kind kind;
        int32_t x, y;         // presses: screen pixels
        uint32_t virtualKey;  // keys
        double time;          // PerfMillis
    };
    // At most this many wait between two frames; more are dropped (a stuck machine).
    static constexpr size_t kMaxPending = 4096;

    QueuedInput(bool clicks, bool keys) : overlay_(clicks, keys) {
        // Both lists keep their room, so neither thread allocates while recording.
        pending_.reserve(kMaxPending);
        taken_.reserve(kMaxPending);
    }
    // Any thread.
    void Post(const Event& e);
    // The recording thread.
    void DrawOverFrame(uint8_t* frame, const FrameLayout& layout, int32_t rectX, int32_t rectY,
                       double now) override;
    const InputOverlay& Overlay() const { return overlay_; }

private:
    std::mutex lock_;
    std::vector<Event> pending_;
    std::vector<Event> taken_;  // the recording thread's, reused
    InputOverlay overlay_;
};

// The drawing itself, on a frame of any layout (exposed for tests and the benchmark).
namespace overlay {
// A ring around (cx, cy) in frame pixels (top row 0), its colour mixed over the frame by
// alpha (1: the colour itself); clipped to the frame.
void DrawRing(uint8_t* frame, const FrameLayout& layout, int32_t cx, int32_t cy, Rgb colour,
              double alpha);
// Key texts in boxes side by side, the last rightmost, centred near the bottom; as many of
// the last ones as fit the width.
void DrawKeyBoxes(uint8_t* frame, const FrameLayout& layout, const std::vector<std::string>& texts);
// The scale of the built-in 5 x 7 font for a frame height, and a text's width in pixels.
int32_t FontScale(int32_t frameHeight);
int32_t TextWidth(const std::string& text, int32_t scale);
// Whether the font has a glyph for every character of the text.
bool FontCovers(const std::string& text);
// A pixel of the frame (x, y from the top-left), and the colour a pixel would hold after
// writing c (8 bits: the nearest colour of the table).
Rgb PixelAt(const uint8_t* frame, const FrameLayout& layout, int32_t x, int32_t y);
Rgb Representable(const uint8_t* frame, const FrameLayout& layout, Rgb c);
}  // namespace overlay

}  // namespace tqk
