#include "mapdata/BinaryIO.h"
#include "mapdata/Cp1251.h"

#include <gtest/gtest.h>

#include <fstream>

namespace fs = std::filesystem;
using namespace dm;

namespace {

fs::path tempDir(const std::string& name) {
    fs::path d = fs::temp_directory_path() / ("dm_test_" + name + "_" + std::to_string(::getpid()));
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
}

void writeBytes(const fs::path& p, const std::vector<uint8_t>& b) {
    std::ofstream f(p, std::ios::binary);
    f.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const FileError& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(BinaryIO, WriterAndReaderAgreeOnEveryFieldKind) {
    BinWriter w;
    w.i32(-2);
    w.u8(0xAB);
    w.f64(-1.25);
    w.shortString("abc");
    w.countedString("");
    w.countedString("xyz");
    w.fixedString("ab", 5);
    w.i16(-300);
    const std::vector<uint8_t> expected = {0xFE, 0xFF, 0xFF, 0xFF, 0xAB, 0, 0, 0, 0, 0, 0, 0xF4, 0xBF, 3, 'a', 'b', 'c',
                                           1, 0, 0, 0, 0, 4, 0, 0, 0, 3, 'x', 'y', 'z', 'a', 'b', 0, 0, 0, 0xD4, 0xFE};
    EXPECT_EQ(w.data(), expected);

    BinReader r(w.data().data(), w.size(), "mem");
    EXPECT_EQ(r.i32(), -2);
    EXPECT_EQ(r.u8(), 0xAB);
    EXPECT_EQ(r.f64(), -1.25);
    EXPECT_EQ(r.shortString(), "abc");
    EXPECT_EQ(r.countedString(), "");
    EXPECT_EQ(r.countedString(), "xyz");
    EXPECT_EQ(r.fixedString(5), std::string("ab\0\0\0", 5));
    EXPECT_EQ(r.i16(), -300);
    EXPECT_TRUE(r.atEnd());
}

TEST(BinaryIO, LongStringsAreCutTo255) {
    BinWriter w;
    w.shortString(std::string(300, 'q'));
    EXPECT_EQ(w.size(), 256u);
    EXPECT_EQ(w.data()[0], 255);
}

TEST(BinaryIO, ReadsPastTheEndFailWithNameAndOffset) {
    const std::vector<uint8_t> b = {1, 2, 3};
    BinReader r(b.data(), b.size(), "short.bin");
    r.u8();
    const std::string e = errorOf([&] { r.i32(); });
    EXPECT_NE(e.find("short.bin"), std::string::npos) << e;
    EXPECT_NE(e.find("смещение 1"), std::string::npos) << e;
}

TEST(BinaryIO, DamagedStringLengthsAreRefusedBeforeReading) {
    // length byte says 10 but only 2 characters follow
    const std::vector<uint8_t> a = {10, 'a', 'b'};
    BinReader r1(a.data(), a.size(), "a");
    EXPECT_FALSE(errorOf([&] { r1.shortString(); }).empty());
    // counted string with a negative count, a too long count, and a length
    // byte that reaches beyond the counted field
    for (std::vector<uint8_t> c : {std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0},
                                   std::vector<uint8_t>{0x01, 0x01, 0, 0, 0},
                                   std::vector<uint8_t>{3, 0, 0, 0, 5, 'a', 'b', 'c', 'd', 'e'}}) {
        BinReader r(c.data(), c.size(), "c");
        EXPECT_FALSE(errorOf([&] { r.countedString(); }).empty());
    }
}

TEST(BinaryIO, FileReaderCrossesBufferBoundaries) {
    const fs::path d = tempDir("chunks");
    BinWriter w;
    // Odd sizes so that values straddle the 1 MiB buffer boundary.
    for (int i = 0; i < 300000; ++i) {
        w.u8(uint8_t(i));
        w.i32(i);
        w.f64(i * 0.5);
    }
    writeBytes(d / "big.bin", w.data());
    BinReader r(d / "big.bin");
    EXPECT_EQ(r.size(), w.size());
    for (int i = 0; i < 300000; ++i) {
        ASSERT_EQ(r.u8(), uint8_t(i));
        ASSERT_EQ(r.i32(), i);
        ASSERT_EQ(r.f64(), i * 0.5);
    }
    EXPECT_TRUE(r.atEnd());
    EXPECT_FALSE(errorOf([&] { r.u8(); }).empty());
    r.seek(13 * 1000);
    EXPECT_EQ(r.u8(), uint8_t(1000));
    fs::remove_all(d);
}

namespace {
// The byte at offset i of the test files below: known without reading.
uint8_t patternAt(uint64_t i) { return uint8_t((i * 2654435761u) >> 13); }

std::vector<uint8_t> patternBytes(size_t n) {
    std::vector<uint8_t> b(n);
    for (size_t i = 0; i < n; ++i) b[i] = patternAt(i);
    return b;
}

::testing::AssertionResult holdsPattern(const uint8_t* p, size_t n, uint64_t from) {
    for (size_t k = 0; k < n; ++k)
        if (p[k] != patternAt(from + k))
            return ::testing::AssertionFailure() << "byte " << from + k << " is " << int(p[k]);
    return ::testing::AssertionSuccess();
}
}  // namespace

// A file of several MiB is read ahead in chunks of 1 MiB: small values across
// the chunk boundaries, pieces larger than a chunk, and seeks back and forth
// give the file's bytes.
TEST(BinaryIO, LargeFileReadAheadGivesTheFilesBytes) {
    const fs::path d = tempDir("ahead");
    const size_t size = 9 * (1 << 20) + 12345;
    writeBytes(d / "big.bin", patternBytes(size));
    BinReader r(d / "big.bin");
    ASSERT_EQ(r.size(), size);
    // Reads of every size class: single bytes, values, pieces that span
    // the room kept before a chunk (256 KiB) and whole chunks.
    const size_t sizes[] = {1, 3, 4, 8, 13, 4000, 70000, 300000, (1 << 20) + 7, 2500000, 5, 1};
    uint64_t at = 0;
    for (int round = 0; r.remaining() > 0; ++round) {
        const size_t n = size_t(std::min<uint64_t>(sizes[round % std::size(sizes)], r.remaining()));
        ASSERT_EQ(r.offset(), at);
        const uint8_t* p = r.take(n);
        ASSERT_TRUE(holdsPattern(p, n, at)) << "read " << round << " of " << n << " at " << at;
        at += n;
    }
    EXPECT_EQ(at, size);
    EXPECT_TRUE(r.atEnd());
    EXPECT_NE(errorOf([&] { r.u8(); }).find("неожиданный конец файла"), std::string::npos);
    // Back to the start, then far ahead, then reading on across a boundary.
    r.seek(1);
    EXPECT_EQ(r.u8(), patternAt(1));
    r.seek((3 << 20) - 2);
    int32_t v = r.i32();
    uint32_t expect = 0;
    for (int k = 3; k >= 0; --k) expect = (expect << 8) | patternAt((3 << 20) - 2 + uint64_t(k));
    EXPECT_EQ(uint32_t(v), expect);
    const uint8_t* p = r.take(2 << 20);
    EXPECT_TRUE(holdsPattern(p, 2 << 20, (3 << 20) + 2));
    fs::remove_all(d);
}

// A file that becomes shorter while it is read: the reading stops with a
// clear error, and nothing it handed out before is anything but the file's.
TEST(BinaryIO, FileCutShortWhileReadAheadFailsClearly) {
    const fs::path d = tempDir("shrunk");
    const size_t size = 12 << 20;
    writeBytes(d / "big.bin", patternBytes(size));
    BinReader r(d / "big.bin");
    // The thread can have read five chunks before this; the sixth is read
    // after it, and only in part.
    const uint64_t left = (5 << 20) + 1000;
    fs::resize_file(d / "big.bin", left);
    uint64_t at = 0;
    const std::string error = errorOf([&] {
        while (!r.atEnd()) {
            const uint8_t* p = r.take(65536);
            ASSERT_TRUE(holdsPattern(p, 65536, at));
            at += 65536;
        }
    });
    EXPECT_NE(error.find("big.bin"), std::string::npos) << error;
    EXPECT_NE(error.find("неожиданный конец файла (смещение " + std::to_string(at) + ")"), std::string::npos)
        << error;
    EXPECT_EQ(at, uint64_t(5 << 20));
    fs::remove_all(d);
}

TEST(BinaryIO, MissingFileIsAnError) {
    EXPECT_NE(errorOf([] { BinReader r(fs::path("/nonexistent/x.bin")); }).find("/nonexistent/x.bin"),
              std::string::npos);
}

TEST(AtomicFile, ReplacesOnlyWhenCommitted) {
    const fs::path d = tempDir("atomic");
    const fs::path t = d / "map.bin";
    writeBytes(t, {1, 2, 3});
    {
        AtomicFile f(t);
        f.write(std::vector<uint8_t>{9, 9});
        // destroyed without commit: an interrupted save
    }
    EXPECT_EQ(readWholeFile(t), (std::vector<uint8_t>{1, 2, 3}));
    writeFileAtomically(t, {7});
    EXPECT_EQ(readWholeFile(t), (std::vector<uint8_t>{7}));
    // No temporary files are left behind.
    int entries = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(d)) ++entries;
    EXPECT_EQ(entries, 1);
    fs::remove_all(d);
}

TEST(AtomicFile, FailureLeavesTheOldContentAndSaysWhy) {
    const fs::path d = tempDir("atomicfail");
    // A target that cannot be replaced: a non-empty directory of that name.
    fs::create_directories(d / "target.bin" / "inside");
    const std::string e = errorOf([&] { writeFileAtomically(d / "target.bin", {1, 2}); });
    EXPECT_NE(e.find("target.bin"), std::string::npos) << e;
    EXPECT_TRUE(fs::is_directory(d / "target.bin" / "inside"));
    // A folder that does not exist.
    EXPECT_FALSE(errorOf([&] { writeFileAtomically(d / "no" / "x.bin", {1}); }).empty());
    int entries = 0;
    for ([[maybe_unused]] auto& e2 : fs::directory_iterator(d)) ++entries;
    EXPECT_EQ(entries, 1);
    fs::remove_all(d);
}

TEST(Paths, MissingNamesAreFoundCaseInsensitively) {
    const fs::path d = tempDir("case");
    writeBytes(d / "DARVENT.OR", {1});
    fs::create_directories(d / "Город");
    writeBytes(d / "Город" / "КАРТА.BIN", {2});
    EXPECT_EQ(resolvePathCase(d / "Darvent.or"), d / "DARVENT.OR");
    EXPECT_EQ(resolvePathCase(d / "город" / "карта.bin"), d / "Город" / "КАРТА.BIN");
    EXPECT_EQ(resolvePathCase(d / "none.or"), d / "none.or");
    EXPECT_TRUE(fileExistsCI(d / "darvent.Or"));
    EXPECT_FALSE(fileExistsCI(d / "darvent.bin"));
    EXPECT_EQ(withExtension("a/b.or", ".bin"), fs::path("a/b.bin"));
    fs::remove_all(d);
}

TEST(Cp1251, EveryByteRoundTrips) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(char(b));
    const QString text = fromCp1251(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(toCp1251(text), all);
    EXPECT_EQ(utf8ToCp1251(cp1251ToUtf8(all)), all);
    // Distinct bytes decode to distinct characters.
    for (int i = 0; i < 256; ++i)
        for (int j = i + 1; j < 256; ++j) ASSERT_NE(text[i], text[j]) << i << " " << j;
}

TEST(Cp1251, CyrillicLettersAndUnmappableCharacters) {
    EXPECT_EQ(fromCp1251("\xC0\xFF\xA8\xB8\xB9"), QString::fromUtf8("АяЁё№"));
    EXPECT_EQ(toCp1251(QString::fromUtf8("Дарвент")), "\xC4\xE0\xF0\xE2\xE5\xED\xF2");
    EXPECT_EQ(toCp1251(QString::fromUtf8("日")), "?");
}
