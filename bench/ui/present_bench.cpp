// The cost of presenting one frame in the window: the shown page converted
// through its colour table (the canvas) and stretched to 1024 x 512 without
// smoothing (the screen widget's paint), on Qt's offscreen platform.
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cstdlib>

#include <benchmark/benchmark.h>

#include "graphics/BMMBitmap.h"
#include "ui/ScreenCanvas.h"

namespace {

// A page with every colour in use, as a busy Korvet screen has.
void FillBusyPage(velgard::tBMMGDI4Bitmap& page) {
    page.SetSize(512, 256, 0, true);
    for (int i = 0; i < 16; ++i) page.SetPaletteEntry(i, static_cast<std::uint32_t>(0x101010 * i + 0x0F0307 * (i & 3)));
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 512; ++x) page.SetPixel(x, y, static_cast<std::uint8_t>((x / 8 + y / 16 + x * y) & 15));
}

void BM_PresentFrame1024x512(benchmark::State& state) {
    velgard::ui::TScreenWidget screen;
    screen.resize(1024, 512);
    velgard::ui::TBMMGDICanvas2D canvas;
    canvas.Attach(&screen);
    velgard::tBMMGDI4Bitmap page;
    FillBusyPage(page);
    QImage target(1024, 512, QImage::Format_RGB32);
    for (auto _ : state) {
        canvas.BeginFrame();
        canvas.DrawBitmap(page);
        canvas.EndFrame();
        QPainter painter(&target);
        const velgard::tBMMImage32& pixels = canvas.Image();
        const QImage image(reinterpret_cast<const uchar*>(pixels.Pixels().data()), pixels.Width(), pixels.Height(),
                           pixels.Width() * 4, QImage::Format_RGB32);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.drawImage(target.rect(), image);
        painter.end();
        benchmark::DoNotOptimize(target.constBits());
    }
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PresentFrame1024x512)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
