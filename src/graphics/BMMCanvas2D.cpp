#include "graphics/BMMCanvas2D.h"

#include <algorithm>

namespace velgard {

// ---- TBMMCanvas2D ----------------------------------------------------------

void TBMMCanvas2D::SetLineWidth(float width) {
    // The comparisons also turn a NaN into 0.
    lineWidth_ = width > 10.0f ? 10.0f : (width >= 0.0f ? width : 0.0f);
}

void TBMMCanvas2D::Reset() {
    if (attached_) Detach();
    control_ = nullptr;
    width_ = height_ = 0;
    clip_ = tBMMRect{};
    attached_ = false;
    drawing_ = false;
}

bool TBMMCanvas2D::Attach(TBMMControl* control) {
    if (attached_) Reset();
    if (!control) return false;
    control_ = control;
    width_ = std::max(control->Width(), 0);
    height_ = std::max(control->Height(), 0);
    if (!CreateSurface()) {
        ReleaseSurface();  // whatever part of it was made
        control_ = nullptr;
        width_ = height_ = 0;
        return false;
    }
    attached_ = true;
    return true;
}

void TBMMCanvas2D::Detach() {
    if (!attached_) return;
    if (drawing_) EndFrame();
    ReleaseSurface();
    control_ = nullptr;
    attached_ = false;
}

bool TBMMCanvas2D::BeginFrame() {
    if (!attached_ || drawing_) return false;
    width_ = std::max(control_->Width(), 0);
    height_ = std::max(control_->Height(), 0);
    PrepareFrame();
    drawing_ = true;
    return true;
}

bool TBMMCanvas2D::DrawBitmap(const tBMMDrawableBitmap& bitmap) {
    if (!attached_ || bitmap.Empty()) return false;
    tBMMImage32* surface = Surface();
    if (!surface) return false;
    const tBMMRect source{0, 0, bitmap.Width() - 1, bitmap.Height() - 1};
    const tBMMRect destination{0, 0, width_ - 1, height_ - 1};
    return bitmap.DrawToCanvas(*surface, destination, source);
}

// ---- TBMMBMPCanvas2D -------------------------------------------------------

bool TBMMBMPCanvas2D::CreateSurface() {
    image_.Resize(Width(), Height());
    return true;
}

void TBMMBMPCanvas2D::PrepareFrame() {
    // Follow the control's size; an unchanged size keeps the picture.
    if (image_.Width() != Width() || image_.Height() != Height()) image_.Resize(Width(), Height());
}

}  // namespace velgard
