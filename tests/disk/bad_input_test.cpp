// Damaged and hostile images: every operation stays inside the image and
// terminates. (Run under AddressSanitizer, an access past the end fails.)
#include <gtest/gtest.h>

#include <random>

#include "disk/CPM_Disk.h"
#include "disk/DiskTestSupport.h"
#include "disk/FDC_WD279X.h"
#include "machine/HeadlessHost.h"

namespace velgard {
namespace {

// Runs every file system operation on an exact-size copy of `image` and
// checks the answers agree with one another.
void Exercise(const std::vector<std::uint8_t>& source) {
    // A heap buffer of exactly the image's size, so that the sanitizer sees
    // any byte read past its end.
    std::vector<std::uint8_t> image(source);
    image.shrink_to_fit();
    const bool cpm = IsCpmImage(image);
    (void)DiskInfoText(image);
    const int count = CountFiles(image);
    if (!cpm) {
        EXPECT_EQ(count, 0);
    }
    const auto names = ListFiles(image);
    ASSERT_EQ(static_cast<int>(names.size()), count);
    for (int i = 0; i < count; ++i) {
        CpmFileInfo info;
        ASSERT_TRUE(GetFileInfo(image, i, info));
        EXPECT_EQ(info.name, names[static_cast<std::size_t>(i)]);
        tFileArray data;
        ASSERT_TRUE(ReadFile(image, info.name, info.erased, data));
        EXPECT_EQ(data.size(), info.size);
        EXPECT_LE(data.size(), image.size() * 16 + 4096) << "bounded by what the entries can name";
    }
    const std::uint64_t free = FreeSpace(image);
    const auto before = image;
    const auto result = ImportFileEx(image, "probe.bin", test::Bytes(3000, 1));
    if (result != ImportResult::Ok) {
        EXPECT_EQ(image, before) << "a refused import changes nothing";
    } else {
        EXPECT_GE(free, 3000u);
        EXPECT_EQ(image.size(), before.size());
    }
    for (const auto& n : names) {
        auto copy = image;
        RestoreFile(copy, n, true);
        RestoreFile(copy, n, false);
        EraseFile(copy, n, false);
        EraseFile(copy, n, true);
    }
    auto wiped = image;
    EXPECT_EQ(ClearDisk(wiped), cpm);
}

TEST(BadImages, TruncatedAndOversizedImages) {
    const auto full = test::BlankImage();
    auto withFile = full;
    ASSERT_TRUE(ImportFile(withFile, "a.txt", test::Bytes(50000, 2)));
    for (std::size_t size : {0u, 1u, 31u, 32u, 33u, 100u, 10240u, 10260u, 12000u, 24576u, 60000u, 819199u}) {
        std::vector<std::uint8_t> cut(withFile.begin(), withFile.begin() + static_cast<long>(size));
        SCOPED_TRACE(size);
        Exercise(cut);
        EXPECT_EQ(IsCpmImage(cut), size >= 32);
    }
    auto bigger = withFile;
    bigger.resize(1048576, 0x00);
    Exercise(bigger);
    EXPECT_EQ(ListFiles(bigger), std::vector<std::string>{"A.TXT"});
}

TEST(BadImages, HeadersWithZeroOrHugeFields) {
    auto base = test::BlankImage();
    ASSERT_TRUE(ImportFile(base, "a.txt", test::Bytes(20000, 3)));
    const std::vector<std::pair<std::size_t, std::vector<std::uint8_t>>> patches = {
        {0x0A, {0xFF}},             // absurd sector size code
        {0x0A, {10}},               // 128 KB sectors
        {0x0B, {0xFF}},             // 256 sides
        {0x0C, {0xFF, 0xFF}},       // 65535 sectors per track
        {0x0C, {0, 0}},             // none
        {0x10, {0, 0}},             // SPT 0
        {0x10, {0xFF, 0xFF}},       // SPT larger than the track
        {0x13, {0xFF}},             // 32 KB blocks
        {0x13, {0}},                // 128-byte blocks
        {0x15, {0xFF, 0xFF}},       // 65536 blocks
        {0x15, {0, 0}},             // one block
        {0x17, {0xFF, 0xFF}},       // 65536 directory entries
        {0x1D, {0xFF, 0xFF}},       // directory far past the end
        {0x1D, {0x9F, 0x00}},       // directory in the last track
    };
    for (const auto& [at, bytes] : patches) {
        auto image = base;
        for (std::size_t i = 0; i < bytes.size(); ++i) image[at + i] = bytes[i];
        SCOPED_TRACE(at);
        Exercise(image);
    }
}

TEST(BadImages, DirectoryEntriesThatLie) {
    auto image = test::BlankImage();
    std::uint8_t* e = image.data() + 10240;
    // Block numbers past the end, RC above 128, high bits in the name.
    const std::uint8_t entry[32] = {0, 'B' | 0x80, 'A' | 0x80, 'D', ' ', ' ', ' ', ' ', ' ', 'X' | 0x80, 'Y', 'Z', 0, 0, 0, 0xFF,
                                    0x02, 0x00, 0xFF, 0xFF, 0x03, 0x00, 0x8A, 0x01, 0x8B, 0x01, 0, 0, 0, 0, 0, 0};
    std::copy(std::begin(entry), std::end(entry), e);
    // An erased twin that claims the same blocks, and a user-16 entry.
    std::copy(std::begin(entry), std::end(entry), e + 32);
    e[32] = 0xE5;
    std::copy(std::begin(entry), std::end(entry), e + 64);
    e[64] = 0x1F;
    Exercise(image);
    ASSERT_EQ(ListFiles(image), std::vector<std::string>{"BAD.XYZ"});
    tFileArray data;
    ASSERT_TRUE(ReadFile(image, "BAD.XYZ", false, data));
    // Block 2 is read from each of the two live entries of that name (user
    // areas do not separate names); 0xFFFF stops each entry.
    EXPECT_EQ(data.size(), 4096u);
    CpmFileInfo info;
    ASSERT_TRUE(GetFileInfo(image, 0, info));
    EXPECT_TRUE(info.readOnly);
    EXPECT_FALSE(info.system);

    // An entry placed in the last bytes of the image, with blocks at the very end.
    auto shortImage = test::BlankImage();
    shortImage.resize(10240 + 32 * 4);
    std::copy(std::begin(entry), std::end(entry), shortImage.begin() + 10240 + 96);
    Exercise(shortImage);
}

TEST(BadImages, RandomImagesAndRegisterNoise) {
    std::mt19937 rng(12345);
    const auto blank = test::BlankImage();
    for (int round = 0; round < 60; ++round) {
        std::vector<std::uint8_t> image;
        const std::size_t size = std::uniform_int_distribution<std::size_t>(0, 40000)(rng);
        image.resize(size);
        for (auto& b : image) b = static_cast<std::uint8_t>(rng());
        if (round % 2 == 0 && size >= 32) {
            // A plausible header over random contents reaches deeper.
            std::copy(blank.begin(), blank.begin() + 32, image.begin());
            image[0x1D] = static_cast<std::uint8_t>(rng() % 4);
            image[0x13] = static_cast<std::uint8_t>(rng() % 32);
        }
        SCOPED_TRACE(round);
        Exercise(image);

        // The controller, fed random register traffic over such an image.
        HeadlessHost host;
        tFCD_WD279X fdc(host);
        if (image.size() >= 32) {
            std::copy(blank.begin(), blank.begin() + 32, image.begin());
            ASSERT_TRUE(fdc.InsertImage(0, image, "", false));
        }
        for (int i = 0; i < 20000; ++i) {
            const std::uint8_t ports[] = {0x18, 0x19, 0x1A, 0x1B, 0x39};
            const std::uint8_t port = ports[rng() % 5];
            const auto value = static_cast<std::uint8_t>(rng());
            std::uint8_t out;
            if (rng() % 2) {
                fdc.WritePort(port, port == 0x39 ? static_cast<std::uint8_t>(value & 0x31) : value);
            } else {
                fdc.ReadPort(port, out);
            }
        }
        EXPECT_EQ(fdc.ImageSize(0), image.size() >= 32 ? image.size() : 0u);
    }
}

}  // namespace
}  // namespace velgard
