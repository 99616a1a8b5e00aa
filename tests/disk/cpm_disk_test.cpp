// The CP/M file system inside an image.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "disk/CPM_Disk.h"
#include "disk/DiskTestSupport.h"

namespace velgard {
namespace {

using test::BlankImage;
using test::Bytes;

constexpr std::size_t kDirectory = 10240;  // two system tracks of 5120 bytes
constexpr std::size_t kBlock = 2048;

std::uint8_t* Entry(std::vector<std::uint8_t>& image, int i) { return image.data() + kDirectory + 32 * i; }

std::string FileName(int i) {
    std::string name(1, 'f');
    name += std::to_string(i);
    return name;
}

tFileArray Read(const std::vector<std::uint8_t>& image, const std::string& name, bool erased = false) {
    tFileArray data;
    EXPECT_TRUE(ReadFile(image, name, erased, data));
    return data;
}

TEST(CpmDisk, FreshDiskGeometryAndFreeSpace) {
    auto image = BlankImage();
    CpmGeometry g;
    ASSERT_TRUE(ReadGeometry(image, g));
    EXPECT_EQ(g.sectorSize, 1024u);
    EXPECT_EQ(g.trackSize, 5120u);
    EXPECT_EQ(g.diskSize, 819200u);
    EXPECT_EQ(g.recordSize, 128u);
    EXPECT_EQ(g.blockSize, 2048u);
    EXPECT_EQ(g.recordsPerBlock, 16u);
    EXPECT_EQ(g.blockCount, 395u);
    EXPECT_EQ(g.directoryEntries, 128u);
    EXPECT_EQ(g.directoryBlocks, 2u);
    EXPECT_EQ(g.directoryStart, kDirectory);
    EXPECT_FALSE(g.smallDisk);
    EXPECT_EQ(g.directoryStart + g.blockCount * g.blockSize, 819200u) << "the blocks fill the disk exactly";
    EXPECT_EQ(CountFiles(image), 0);
    EXPECT_TRUE(ListFiles(image).empty());
    EXPECT_EQ(FreeSpace(image), (395u - 2u) * 2048u);
    CpmFileInfo info;
    EXPECT_FALSE(GetFileInfo(image, 0, info));
    EXPECT_FALSE(GetFileInfo(image, -1, info));
}

TEST(CpmDisk, ImportOf200BytesTakesOneBlockAndReadsBackAs256) {
    auto image = BlankImage();
    const auto contents = Bytes(200, 1);
    ASSERT_TRUE(ImportFile(image, "/home/user/readme.txt", contents));
    const std::uint8_t* e = Entry(image, 0);
    EXPECT_EQ(e[0], 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(e + 1), 11), "README  TXT");
    EXPECT_EQ(e[12], 0);
    EXPECT_EQ(e[15], 2) << "RC";
    EXPECT_EQ(e[16], 2) << "first free block after the directory";
    EXPECT_EQ(e[17], 0);
    EXPECT_EQ(e[18], 0) << "only one block";
    ASSERT_EQ(ListFiles(image), std::vector<std::string>{"README.TXT"});
    const auto back = Read(image, "README.TXT");
    ASSERT_EQ(back.size(), 256u);
    EXPECT_TRUE(std::equal(contents.begin(), contents.end(), back.begin()));
    EXPECT_TRUE(std::all_of(back.begin() + 200, back.end(), [](std::uint8_t b) { return b == 0xE5; }));
    EXPECT_EQ(FreeSpace(image), (395u - 3u) * 2048u);
    CpmFileInfo info;
    ASSERT_TRUE(GetFileInfo(image, 0, info));
    EXPECT_EQ(info.name, "README.TXT");
    EXPECT_EQ(info.size, 256u);
    EXPECT_EQ(info.attributes, 0u);
    EXPECT_FALSE(info.erased);
}

TEST(CpmDisk, NamesAreFormedAndDuplicatesRefusedInAnyCase) {
    auto image = BlankImage();
    const auto data = Bytes(10, 2);
    EXPECT_EQ(CpmNameFor("dir.x/verylongname.text"), "VERYLONG.TEX");
    EXPECT_EQ(CpmNameFor("noext"), "NOEXT");
    // The extension starts at the last dot; a dot CP/M cannot keep in the
    // name part becomes '_'.
    EXPECT_EQ(CpmNameFor("a.b.c"), "A_B.C");
    std::string name, ext;
    // Blanks are dropped: CP/M names have none.
    EXPECT_EQ(CpmNameFor("/x/ my file .c ", &name, &ext), "MYFILE.C");
    EXPECT_EQ(name, "MYFILE  ");
    EXPECT_EQ(ext, "C  ");
    // Cyrillic is transliterated; other characters outside printable ASCII,
    // malformed UTF-8 and the characters CP/M forbids become '_'.
    EXPECT_EQ(CpmNameFor("\xC3\xA9t\xC3\xA9.txt"), "_T_.TXT");
    EXPECT_EQ(CpmNameFor("Щука-Ёж.жжж"), "SCHUKA-E.ZHZ");
    EXPECT_EQ(CpmNameFor("объявл.txt"), "OBYAVL.TXT");
    EXPECT_EQ(CpmNameFor("a*b?<c>[d]|e=f;g,h%i(j)k:l\"m.t+t"), "A_B__C__.T+T");
    EXPECT_EQ(CpmNameFor("bad\xFF\xC3.x"), "BAD__.X");
    EXPECT_EQ(CpmNameFor(".profile"), "PROFILE") << "a leading dot only hides a host file";
    for (const char* host : {"a*b.txt", "файл.txt", "a very long name.text", "x\x01y.z", "a.b.c"})
        EXPECT_TRUE(IsValidCpmName(CpmNameFor(host))) << host;
    for (const char* bad : {"", "A B", "a.txt", "A.", ".TXT", "NINECHARS", "A.TEXT", "A*.TXT", "A.B.C", "EEEEEEEE",
                            "X.EEE"})
        EXPECT_FALSE(IsValidCpmName(bad)) << bad;

    ASSERT_TRUE(ImportFile(image, "readme.txt", data));
    EXPECT_EQ(ImportFileEx(image, "Readme.Txt", data), ImportResult::Duplicate);
    EXPECT_EQ(ImportFileEx(image, "/other/README.TXT", data), ImportResult::Duplicate);
    ASSERT_TRUE(ImportFile(image, "verylongname.text", data));
    EXPECT_EQ(ImportFileEx(image, "VERYLONGER.TEXT", data), ImportResult::Duplicate);
    EXPECT_EQ(ListFiles(image), (std::vector<std::string>{"README.TXT", "VERYLONG.TEX"}));
    // Names the directory would read as "no name" are refused.
    EXPECT_EQ(ImportFileEx(image, "ъь", data), ImportResult::BadName);
    EXPECT_EQ(ImportFileEx(image, "x.eee", data), ImportResult::BadName);
    EXPECT_EQ(ImportFileNamed(image, "LOW.txt", data), ImportResult::BadName);
    EXPECT_EQ(ImportFileEx(image, "eeeeeeee", data), ImportResult::BadName);
    EXPECT_EQ(ImportFileEx(image, "dir/", data), ImportResult::BadName);
    EXPECT_EQ(ImportFileEx(image, "empty.txt", {}), ImportResult::EmptyFile);
    EXPECT_EQ(CountFiles(image), 2);
    // An erased file's name is free again.
    ASSERT_TRUE(EraseFile(image, "README.TXT", false));
    EXPECT_TRUE(ImportFile(image, "readme.txt", data));
}

TEST(CpmDisk, ErasedFilesAreListedReadAndRestored) {
    auto image = BlankImage();
    const auto a = Bytes(5000, 3), b = Bytes(3000, 4);
    ASSERT_TRUE(ImportFile(image, "a.com", a));
    ASSERT_TRUE(ImportFile(image, "b.com", b));
    // Give A attributes and erase it the way CP/M does: only the user byte.
    Entry(image, 0)[9] |= 0x80;
    Entry(image, 0)[0] = 0xE5;
    ASSERT_EQ(ListFiles(image), (std::vector<std::string>{"A.COM", "B.COM"}));
    CpmFileInfo info;
    ASSERT_TRUE(GetFileInfo(image, 0, info));
    EXPECT_TRUE(info.erased);
    EXPECT_TRUE(info.readOnly);
    EXPECT_EQ(info.attributes & 0x0F, kCpmAttrErased | kCpmAttrReadOnly);
    EXPECT_EQ(info.size, 5120u);
    const auto erasedData = Read(image, "A.COM", true);
    EXPECT_TRUE(std::equal(a.begin(), a.end(), erasedData.begin()));
    EXPECT_TRUE(Read(image, "A.COM", false).empty());
    EXPECT_EQ(FreeSpace(image), (395u - 2u - 2u) * 2048u) << "an erased file's blocks are free";

    ASSERT_TRUE(RestoreFile(image, "A.COM", true));
    EXPECT_EQ(Entry(image, 0)[0], 0);
    EXPECT_EQ(Entry(image, 0)[9] & 0x80, 0);
    ASSERT_TRUE(GetFileInfo(image, 0, info));
    EXPECT_FALSE(info.erased);
    EXPECT_EQ(info.attributes, 0u);
    const auto restored = Read(image, "A.COM");
    EXPECT_TRUE(std::equal(a.begin(), a.end(), restored.begin()));

    // A hidden file (user 3, system) comes back as a plain user-0 file.
    Entry(image, 1)[0] = 3;
    Entry(image, 1)[10] |= 0x80;
    ASSERT_TRUE(GetFileInfo(image, 1, info));
    EXPECT_EQ(info.user, 3u);
    EXPECT_EQ(info.attributes, kCpmAttrSystem | (3u << kCpmAttrUserShift));
    ASSERT_TRUE(RestoreFile(image, "B.COM", false));
    EXPECT_EQ(Entry(image, 1)[0], 0);
    EXPECT_EQ(Entry(image, 1)[10], 'O');

    // EraseFile leaves no name: the file is gone from the list, its data 0xE5.
    const std::size_t firstBlock = kDirectory + Entry(image, 1)[16] * kBlock;
    ASSERT_TRUE(EraseFile(image, "B.COM", false));
    EXPECT_EQ(ListFiles(image), std::vector<std::string>{"A.COM"});
    EXPECT_TRUE(std::all_of(Entry(image, 1), Entry(image, 1) + 32, [](std::uint8_t x) { return x == 0xE5; }));
    EXPECT_EQ(image[firstBlock], 0xE5);
    EXPECT_EQ(image[firstBlock + 2047], 0xE5);
}

TEST(CpmDisk, RestoreKeepsOnlyBlocksNoLiveFileHasTaken) {
    auto image = BlankImage();
    const auto a = Bytes(6000, 5);  // blocks 2, 3, 4
    ASSERT_TRUE(ImportFile(image, "a.dat", a));
    // Move A's entry further down the directory and erase it as CP/M does.
    std::memcpy(Entry(image, 5), Entry(image, 0), 32);
    std::memset(Entry(image, 0), 0xE5, 32);
    Entry(image, 5)[0] = 0xE5;
    // A new file reuses blocks 2 and 3 (the first free ones).
    ASSERT_TRUE(ImportFile(image, "new.dat", Bytes(4096, 6)));
    ASSERT_EQ(Entry(image, 0)[16], 2);
    ASSERT_EQ(ListFiles(image), (std::vector<std::string>{"NEW.DAT", "A.DAT"}));
    // Erased A now starts on a block in use: nothing of it can be read or restored.
    EXPECT_TRUE(Read(image, "A.DAT", true).empty());
    const auto before = image;
    ASSERT_TRUE(RestoreFile(image, "A.DAT", true));
    EXPECT_EQ(image, before);

    // With only its last block taken, A comes back shortened and never
    // cross-linked with the live file.
    image = BlankImage();
    ASSERT_TRUE(ImportFile(image, "a.dat", a));
    Entry(image, 0)[0] = 0xE5;
    // Hand block 4 to a live file by hand.
    std::uint8_t* other = Entry(image, 1);
    std::memset(other, 0, 32);
    std::memcpy(other + 1, "OTHER   DAT", 11);
    other[15] = 16;
    other[16] = 4;
    ASSERT_TRUE(RestoreFile(image, "A.DAT", true));
    EXPECT_EQ(Entry(image, 0)[0], 0);
    EXPECT_EQ(Entry(image, 0)[15], 32) << "RC covers the two blocks kept";
    EXPECT_EQ(Entry(image, 0)[20], 0) << "the taken block is no longer claimed";
    const auto back = Read(image, "A.DAT");
    ASSERT_EQ(back.size(), 4096u);
    EXPECT_TRUE(std::equal(back.begin(), back.end(), a.begin()));

    // An erased file is not restored next to a live one of the same name.
    image = BlankImage();
    ASSERT_TRUE(ImportFile(image, "x.txt", Bytes(100, 1)));
    std::memcpy(Entry(image, 3), Entry(image, 0), 32);
    std::memset(Entry(image, 0), 0xE5, 32);
    Entry(image, 3)[0] = 0xE5;
    ASSERT_TRUE(ImportFile(image, "x.txt", Bytes(100, 2)));
    ASSERT_EQ(Entry(image, 0)[0], 0);
    EXPECT_FALSE(RestoreFile(image, "X.TXT", true));
    EXPECT_EQ(Entry(image, 3)[0], 0xE5);
}

TEST(CpmDisk, MultiExtentFilesAndAFullDisk) {
    auto image = BlankImage();
    // 600,000 bytes: 37 entries of 16 KB; extents past 31 go on in S2.
    const auto big = Bytes(600000, 7);
    ASSERT_TRUE(ImportFile(image, "big.bin", big));
    for (int i = 0; i < 37; ++i) {
        const std::uint8_t* e = Entry(image, i);
        EXPECT_EQ(e[12], i % 32) << "entry " << i;
        EXPECT_EQ(e[14], i / 32) << "entry " << i;
        EXPECT_EQ(e[15], i < 36 ? 128 : (600000 - 36 * 16384 + 127) / 128) << "entry " << i;
    }
    EXPECT_EQ(Entry(image, 37)[0], 0xE5);
    const auto back = Read(image, "BIG.BIN");
    ASSERT_EQ(back.size(), 600064u);
    EXPECT_TRUE(std::equal(big.begin(), big.end(), back.begin()));

    // A file larger than the free space is refused before writing anything.
    const auto before = image;
    EXPECT_EQ(ImportFileEx(image, "huge.bin", Bytes(FreeSpace(image) + 1, 8)), ImportResult::DiskFull);
    EXPECT_EQ(image, before);
    // Exactly the free space fits.
    ASSERT_TRUE(ImportFile(image, "rest.bin", Bytes(FreeSpace(image), 9)));
    EXPECT_EQ(FreeSpace(image), 0u);

    // Directory full: 128 one-block files fit the blocks but not the entries.
    image = BlankImage();
    for (int i = 0; i < 128; ++i) {
        ASSERT_TRUE(ImportFile(image, FileName(i), Bytes(10, i))) << i;
    }
    const auto full = image;
    EXPECT_EQ(ImportFileEx(image, "one.more", Bytes(10, 1)), ImportResult::DiskFull);
    EXPECT_EQ(image, full) << "a failed import leaves the image exactly as it was";

    // A file that needs more entries than are left fails whole.
    image = BlankImage();
    for (int i = 0; i < 126; ++i) ASSERT_TRUE(ImportFile(image, FileName(i), Bytes(10, i)));
    const auto almost = image;
    EXPECT_EQ(ImportFileEx(image, "three.ext", Bytes(40000, 3)), ImportResult::DiskFull);
    EXPECT_EQ(image, almost);
    EXPECT_EQ(CountFiles(image), 126);
}

TEST(CpmDisk, ClearDiskWipesEveryBlock) {
    auto image = BlankImage();
    ASSERT_TRUE(ImportFile(image, "a", Bytes(30000, 1)));
    image[5] = 0x12;  // inside the system tracks
    ASSERT_TRUE(ClearDisk(image));
    EXPECT_EQ(CountFiles(image), 0);
    EXPECT_EQ(image[5], 0x12);
    EXPECT_TRUE(std::all_of(image.begin() + kDirectory, image.end(), [](std::uint8_t b) { return b == 0xE5; }));
    // On a short image the wipe stops at its end.
    image.resize(30000);
    EXPECT_TRUE(ClearDisk(image));
}

TEST(CpmDisk, SmallDisksUseOneByteBlockNumbers) {
    // 1 KB blocks, 200 blocks: a "small" disk.
    auto image = BlankImage();
    image[0x13] = 7;
    image[0x15] = 199;
    image[0x16] = 0;
    image[0x17] = 31;  // 32 entries: one block of directory
    CpmGeometry g;
    ASSERT_TRUE(ReadGeometry(image, g));
    ASSERT_TRUE(g.smallDisk);
    EXPECT_EQ(g.directoryBlocks, 1u);
    const auto data = Bytes(20000, 11);  // 2 entries of 16 KB max
    ASSERT_TRUE(ImportFile(image, "s.dat", data));
    EXPECT_EQ(Entry(image, 0)[16], 1);
    EXPECT_EQ(Entry(image, 0)[31], 16);
    EXPECT_EQ(Entry(image, 0)[15], 128);
    EXPECT_EQ(Entry(image, 1)[12], 1);
    EXPECT_EQ(Entry(image, 1)[16], 17);
    const auto back = Read(image, "S.DAT");
    ASSERT_EQ(back.size(), 20096u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin()));
}

TEST(CpmDisk, UnmeasurableImagesAreNotCpmDisks) {
    auto image = BlankImage();
    EXPECT_FALSE(IsCpmImage(std::vector<std::uint8_t>(31, 0)));
    EXPECT_TRUE(IsCpmImage(std::vector<std::uint8_t>(image.begin(), image.begin() + 32)));
    auto zeroSpt = image;
    zeroSpt[0x10] = zeroSpt[0x11] = 0;
    auto zeroRecord = image;
    zeroRecord[0x0C] = zeroRecord[0x0D] = 0;  // no sectors: track size 0
    auto tinyBlock = image;
    tinyBlock[0x10] = 1;  // one record per 5120-byte track: records larger than blocks
    tinyBlock[0x11] = 0;
    for (auto* bad : {&zeroSpt, &zeroRecord, &tinyBlock}) {
        EXPECT_FALSE(IsCpmImage(*bad));
        EXPECT_EQ(CountFiles(*bad), 0);
        EXPECT_FALSE(ClearDisk(*bad));
        EXPECT_FALSE(ImportFile(*bad, "a", Bytes(10, 1)));
        tFileArray out;
        EXPECT_FALSE(ReadFile(*bad, "A", false, out));
        EXPECT_FALSE(EraseFile(*bad, "A", false));
        EXPECT_FALSE(RestoreFile(*bad, "A", true));
    }
}

}  // namespace
}  // namespace velgard

namespace velgard {
namespace {

// A disk whose entries span two 16 KB logical extents, as foreign images
// have: 2 KB blocks with one-byte block numbers (DSM 200), so that an entry's
// 16 slots hold 32 KB, EXM 1. One erased file of 20 KB (160 records) in
// blocks 2-11: EX 1 (its second logical extent), RC 32.
std::vector<std::uint8_t> TwoExtentEntryImage(const std::vector<std::uint8_t>& data) {
    auto image = test::BlankImage();
    image[0x14] = 1;     // EXM
    image[0x15] = 200;   // DSM 200: one-byte block numbers
    image[0x16] = 0;
    std::uint8_t* e = Entry(image, 0);
    std::memset(e, 0, 32);
    std::memcpy(e + 1, "BIG     DAT", 11);
    e[12] = 1;
    e[15] = 32;
    for (int s = 0; s < 10; ++s) e[16 + s] = static_cast<std::uint8_t>(2 + s);
    std::memcpy(image.data() + kDirectory + 2 * kBlock, data.data(), data.size());
    e[0] = 0xE5;  // erased by ERA
    return image;
}

TEST(CpmDisk, EntriesSpanningSeveralLogicalExtentsAreReadAndRestoredWhole) {
    const auto data = Bytes(20480, 11);
    auto image = TwoExtentEntryImage(data);
    EXPECT_EQ(Read(image, "BIG.DAT", true), data) << "EX's low EXM bits count 128 records each";
    ASSERT_TRUE(RestoreFile(image, "BIG.DAT", true));
    const std::uint8_t* e = Entry(image, 0);
    EXPECT_EQ(e[0], 0);
    EXPECT_EQ(e[12], 1);
    EXPECT_EQ(e[15], 32);
    for (int s = 0; s < 10; ++s) EXPECT_EQ(e[16 + s], 2 + s) << "slot " << s << " keeps its free block";
    EXPECT_EQ(Read(image, "BIG.DAT"), data);

    // A live file owning block 7 (the sixth slot) cuts the entry there:
    // five blocks, 80 records, all in the first logical extent.
    image = TwoExtentEntryImage(data);
    std::uint8_t* other = Entry(image, 1);
    std::memset(other, 0, 32);
    std::memcpy(other + 1, "OTHER   DAT", 11);
    other[15] = 16;
    other[16] = 7;
    ASSERT_TRUE(RestoreFile(image, "BIG.DAT", true));
    e = Entry(image, 0);
    EXPECT_EQ(e[12], 0);
    EXPECT_EQ(e[15], 80);
    EXPECT_EQ(e[16 + 4], 6);
    for (int s = 5; s < 16; ++s) EXPECT_EQ(e[16 + s], 0) << "slot " << s;
    const auto back = Read(image, "BIG.DAT");
    ASSERT_EQ(back.size(), 5 * kBlock);
    EXPECT_TRUE(std::equal(back.begin(), back.end(), data.begin()));
}

TEST(CpmDisk, MarkFileErasedIsCpmsEraAndRestorable) {
    auto image = BlankImage();
    const auto a = Bytes(40000, 12);  // three entries
    ASSERT_TRUE(ImportFile(image, "a.dat", a));
    ASSERT_TRUE(ImportFile(image, "b.dat", Bytes(100, 13)));
    const auto free = FreeSpace(image);
    EXPECT_EQ(MarkFileErased(image, "A.DAT"), 3);
    EXPECT_EQ(MarkFileErased(image, "A.DAT"), 0) << "erased entries are not marked twice";
    EXPECT_EQ(MarkFileErased(image, "a.dat"), 0) << "names compare exactly";
    EXPECT_EQ(FreeSpace(image), free + 20 * kBlock);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Entry(image, i)[0], 0xE5);
        EXPECT_EQ(Entry(image, i)[1], 'A') << "the name stays";
    }
    EXPECT_EQ(Read(image, "A.DAT", true).size(), 40064u);
    ASSERT_TRUE(RestoreFile(image, "A.DAT", true));
    const auto back = Read(image, "A.DAT");
    ASSERT_EQ(back.size(), 40064u);
    EXPECT_TRUE(std::equal(a.begin(), a.end(), back.begin()));
    EXPECT_EQ(FreeSpace(image), free);
}

}  // namespace
}  // namespace velgard
