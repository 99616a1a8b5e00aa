#pragma once
// Canvases bind the graphics library to something with a size that is drawn
// on: a window's screen panel or an off-screen image. The machine loop and
// the window's repaint put each frame on the screen with
//   BeginFrame(); DrawBitmap(page bitmap); EndFrame();
// and the 512 x 256 frame is stretched over the whole drawing area.
//
// States: detached -> attached (Attach) -> drawing (BeginFrame)
//         -> attached (EndFrame) -> detached (Detach / Reset).
#include <cstdint>

#include "graphics/BMMBitmap.h"
#include "graphics/BMMCommon.h"

namespace velgard {

// The thing a canvas is attached to. Its size is read again at every
// BeginFrame, so a resized panel is followed without re-attaching.
class TBMMControl {
public:
    virtual ~TBMMControl() = default;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
};

// A control of a given size, for the headless tool and tests.
class TBMMFixedControl final : public TBMMControl {
public:
    TBMMFixedControl(int width, int height) : width_(width), height_(height) {}
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    void SetSize(int width, int height) {
        width_ = width;
        height_ = height;
    }

private:
    int width_;
    int height_;
};

enum class TBMMCanvasKind : std::uint8_t { GDI = 0, Bitmap = 1, OpenGL = 2 };

// A concrete canvas calls Reset() in its destructor, so that an attached
// canvas releases its drawing surface when it is freed.
class TBMMCanvas2D {
public:
    virtual ~TBMMCanvas2D() = default;
    TBMMCanvas2D(const TBMMCanvas2D&) = delete;
    TBMMCanvas2D& operator=(const TBMMCanvas2D&) = delete;

    // Colours are 0x00BBGGRR window colour values.
    virtual void SetPenColor(std::uint32_t color) { penColor_ = color; }
    virtual void SetBrushColor(std::uint32_t color) { brushColor_ = color; }
    // Clamped to 0-10.
    virtual void SetLineWidth(float width);
    // Ends drawing and detaches if needed, then clears the control, the
    // size, the clip rectangle and the flags.
    virtual void Reset();
    virtual void SetClipRect(const tBMMRect& rect) { clip_ = rect; }

    // Attaches to `control` (Reset first if attached). False without a
    // control or when the drawing surface cannot be made.
    virtual bool Attach(TBMMControl* control);
    // If attached: ends drawing if in progress, releases the drawing
    // surface, forgets the control.
    virtual void Detach();
    // False if not attached or already drawing. Takes the control's current
    // size, then sets the drawing flag.
    virtual bool BeginFrame();
    // Clears the drawing flag.
    virtual void EndFrame() { drawing_ = false; }
    // BeginFrame followed by EndFrame.
    void Refresh() {
        if (BeginFrame()) EndFrame();
    }

    // Stretches the whole bitmap, (0, 0)-(width - 1, height - 1), over the
    // whole drawing area, (0, 0)-(Width() - 1, Height() - 1). Draws whenever
    // the canvas is attached, whether or not a frame is begun; draws nothing
    // (false) when detached, when the bitmap is empty or when there is no
    // surface. True when the bitmap's drawing succeeded.
    virtual bool DrawBitmap(const tBMMDrawableBitmap& bitmap);

    TBMMCanvasKind Kind() const { return kind_; }
    bool Attached() const { return attached_; }
    bool Drawing() const { return drawing_; }
    TBMMControl* Control() const { return control_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    std::uint32_t PenColor() const { return penColor_; }
    std::uint32_t BrushColor() const { return brushColor_; }
    float LineWidth() const { return lineWidth_; }
    const tBMMRect& ClipRect() const { return clip_; }

protected:
    explicit TBMMCanvas2D(TBMMCanvasKind kind) : kind_(kind) {}

    // The surface the bitmaps are drawn on while attached; null if none.
    virtual tBMMImage32* Surface() = 0;
    // Makes the drawing surface for the control being attached; false on
    // failure (ReleaseSurface is then called to undo any part of it).
    virtual bool CreateSurface() = 0;
    // Releases the drawing surface.
    virtual void ReleaseSurface() = 0;
    // Called by BeginFrame after the size was taken from the control.
    virtual void PrepareFrame() {}

private:
    TBMMCanvasKind kind_;
    TBMMControl* control_ = nullptr;
    std::uint32_t penColor_ = 0;
    std::uint32_t brushColor_ = 0xFFFFFF;
    float lineWidth_ = 1.0f;
    int width_ = 0;
    int height_ = 0;
    tBMMRect clip_{};
    bool attached_ = false;
    bool drawing_ = false;
};

// The off-screen canvas: draws into its own 32-bit RGB image of the
// control's size, e.g. for screenshots of the headless tool. At a size of
// 1024 x 512 every pixel of a 512 x 256 frame becomes a 2 x 2 block.
class TBMMBMPCanvas2D final : public TBMMCanvas2D {
public:
    TBMMBMPCanvas2D() : TBMMCanvas2D(TBMMCanvasKind::Bitmap) {}
    ~TBMMBMPCanvas2D() override { Reset(); }

    // The picture drawn so far; kept after Detach, so it can be saved.
    const tBMMImage32& Image() const { return image_; }

protected:
    tBMMImage32* Surface() override { return image_.Empty() ? nullptr : &image_; }
    bool CreateSurface() override;
    void ReleaseSurface() override {}
    void PrepareFrame() override;

private:
    tBMMImage32 image_;
};

}  // namespace velgard
