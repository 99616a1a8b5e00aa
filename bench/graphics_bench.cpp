// A graphics page drawn onto a 32-bit picture, as a canvas draws a frame:
// at its own size (512 x 256) and at twice its size.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "graphics/BMMBitmap.h"
#include "graphics/BMMCommon.h"

namespace {

using namespace velgard;

void BM_DrawFrame(benchmark::State& state) {
    const int scale = static_cast<int>(state.range(0));
    tBMMGDI4Bitmap page;
    page.SetSize(512, 256, 0, true);
    for (int i = 0; i < 16; ++i) page.SetPaletteEntry(i, BMMRgbQuad(static_cast<std::uint8_t>(i * 16), 85, 170));
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 512; ++x) page.SetPixel(x, y, static_cast<std::uint8_t>((x ^ y) & 15));
    tBMMImage32 picture(512 * scale, 256 * scale);
    for (auto _ : state) {
        page.DrawToCanvas(picture, {0, 0, 512 * scale - 1, 256 * scale - 1}, {0, 0, 511, 255});
        benchmark::DoNotOptimize(picture.Row(0));
    }
    state.SetItemsProcessed(state.iterations());  // frames
}
BENCHMARK(BM_DrawFrame)->ArgName("scale")->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

}  // namespace
