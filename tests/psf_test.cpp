#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <map>
#include <string>
#include <vector>

#include "discovery/game_info.h"
#include "discovery/psf.h"
#include "support/testing.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Map = std::map<std::string, std::string>;

struct Entry {
    std::string key;
    uint16_t fmt;
    std::string data;        // bytes stored in the data table
    uint32_t data_len;       // what the index claims
};

Entry text(const std::string& key, const std::string& value, uint32_t len = 0) {
    std::string data = value + std::string(1, '\0');
    if (len == 0) len = uint32_t(data.size());
    while (data.size() < len) data += '\0';
    return {key, 0x0204, data, len};
}

Entry number(const std::string& key, uint32_t v) {
    std::string data;
    for (int i = 0; i < 4; ++i) data += char((v >> (8 * i)) & 0xff);
    return {key, 0x0404, data, 4};
}

void put16(Bytes& b, size_t at, uint16_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}

void put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

uint32_t get32(const Bytes& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

// Byte position of a field of index entry i.
size_t field(size_t i, size_t offset) { return 20 + 16 * i + offset; }
constexpr size_t KEY_OFFSET = 0, DATA_LEN = 4, DATA_OFFSET = 12;

// Header, index, key table, data table, in the usual layout.
Bytes build(const std::vector<Entry>& entries) {
    size_t key_start = 20 + 16 * entries.size();
    std::string keys, data;
    std::vector<std::pair<uint16_t, uint32_t>> offsets;
    for (const auto& e : entries) {
        offsets.push_back({uint16_t(keys.size()), uint32_t(data.size())});
        keys += e.key + std::string(1, '\0');
        data += e.data;
    }
    while (keys.size() % 4) keys += '\0';
    size_t data_start = key_start + keys.size();
    Bytes b(data_start + data.size(), 0);
    b[0] = 0x00; b[1] = 'P'; b[2] = 'S'; b[3] = 'F';
    put32(b, 4, 0x101);
    put32(b, 8, uint32_t(key_start));
    put32(b, 12, uint32_t(data_start));
    put32(b, 16, uint32_t(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
        size_t at = 20 + 16 * i;
        put16(b, at, offsets[i].first);
        put16(b, at + 2, entries[i].fmt);
        put32(b, at + 4, entries[i].data_len);
        put32(b, at + 8, entries[i].data_len);
        put32(b, at + 12, offsets[i].second);
    }
    std::copy(keys.begin(), keys.end(), b.begin() + long(key_start));
    std::copy(data.begin(), data.end(), b.begin() + long(data_start));
    return b;
}

Map parse(const Bytes& b) { return parse_psf(b.data(), b.size()); }

// The exact bytes on the heap, so the sanitizers see any read past the end.
Map parse_exact(const Bytes& b) {
    std::vector<uint8_t> copy(b);
    copy.shrink_to_fit();
    return parse_psf(copy.data(), copy.size());
}

}  // namespace

TEST(Psf, ReadsTextAndNumbers) {
    Bytes b = build({text("TITLE_ID", "CUSA00000"), text("APP_VER", "01.01", 8), number("ATTR", 1),
                     number("BIG", 0xFFFFFFFFu), text("TITLE", "Veltrane \xE2\x84\xA2")});
    EXPECT_EQ(parse_exact(b), (Map{{"TITLE_ID", "CUSA00000"}, {"APP_VER", "01.01"}, {"ATTR", "1"},
                                   {"BIG", "4294967295"}, {"TITLE", "Veltrane \xE2\x84\xA2"}}));
}

TEST(Psf, TextValueStopsAtNulOrDataLength) {
    Entry full{"A", 0x0204, "abcdef", 6};  // no NUL within data_len
    Entry cut{"B", 0x0204, std::string("abc\0ef", 6), 6};
    Entry empty{"C", 0x0204, "", 0};
    Entry shorter{"D", 0x0204, "abcdef", 3};
    Bytes b = build({full, cut, empty, shorter});
    EXPECT_EQ(parse_exact(b), (Map{{"A", "abcdef"}, {"B", "abc"}, {"C", ""}, {"D", "abc"}}));
}

TEST(Psf, NumberIsReadAsFourBytesWhateverItsLength) {
    Entry one = number("N", 0x01020304);
    one.data_len = 1;
    EXPECT_EQ(parse(build({one})).at("N"), std::to_string(0x01020304));

    // A value at the very end with one to three of its bytes in the file:
    // "0" instead of a read past the end.
    for (uint32_t left = 1; left <= 3; ++left) {
        Bytes b = build({text("T", "x"), number("N", 7)});
        b.resize(b.size() - 4 + left);
        put32(b, field(1, DATA_LEN), left);  // the claimed length still fits
        EXPECT_EQ(parse_exact(b).at("N"), "0") << left;
    }
}

TEST(Psf, RejectsShortOrWronglyTaggedOrEmptyFiles) {
    Bytes good = build({text("TITLE", "x")});
    EXPECT_TRUE(parse_psf(nullptr, 0).empty());
    EXPECT_TRUE(parse_exact(Bytes(good.begin(), good.begin() + 19)).empty());
    Bytes bad = good;
    bad[0] = 'X';
    EXPECT_TRUE(parse(bad).empty());
    bad = good;
    bad[3] = 'f';
    EXPECT_TRUE(parse(bad).empty());
    bad = good;
    put32(bad, 16, 0);
    EXPECT_TRUE(parse(bad).empty());
    EXPECT_TRUE(parse_exact(Bytes(good.begin(), good.begin() + 20)).empty());
}

TEST(Psf, EntriesOutsideTheFileAreSkippedOneByOne) {
    Bytes b = build({text("FIRST", "a"), text("SECOND", "b"), text("THIRD", "c")});
    // SECOND's value runs one byte past the end.
    uint32_t d = get32(b, 12) + get32(b, field(1, DATA_OFFSET));
    put32(b, field(1, DATA_LEN), uint32_t(b.size()) - d + 1);
    Map m = parse_exact(b);
    EXPECT_EQ(m.count("SECOND"), 0u);
    EXPECT_EQ(m.at("FIRST"), "a");
    EXPECT_EQ(m.at("THIRD"), "c");

    // A key offset at the end of the file skips the entry.
    b = build({text("FIRST", "a"), text("SECOND", "b")});
    put32(b, 8, uint32_t(b.size()));
    put16(b, field(0, KEY_OFFSET), 0);
    put16(b, field(1, KEY_OFFSET), 0);
    EXPECT_TRUE(parse_exact(b).empty());
}

TEST(Psf, ValueEndingExactlyAtTheEndIsRead) {
    Entry last{"K", 0x0204, "tail", 4};
    Bytes b = build({last});
    EXPECT_EQ(parse_exact(b).at("K"), "tail");
    put32(b, field(0, DATA_LEN), 5);  // one byte more than the file holds
    EXPECT_TRUE(parse_exact(b).empty());
}

TEST(Psf, LaterDuplicateWins) {
    EXPECT_EQ(parse(build({text("TITLE", "one"), text("TITLE", "two")})).at("TITLE"), "two");
}

TEST(Psf, IndexLongerThanTheFileIsReadAsFarAsWholeEntriesFit) {
    Bytes b = build({text("A", "1"), text("B", "2")});
    put32(b, 16, 0xFFFFFFFFu);
    EXPECT_EQ(parse_exact(b), (Map{{"A", "1"}, {"B", "2"}}));

    // Keys and values inside the header ("PSF" at 1, "SF" at 2), two whole
    // entries and a third cut after 8 bytes: the cut one must not be read.
    Bytes h(20 + 16 * 2 + 8, 0);
    h[1] = 'P'; h[2] = 'S'; h[3] = 'F';
    put32(h, 8, 1);
    put32(h, 12, 1);
    put32(h, 16, 3);
    put32(h, field(0, DATA_LEN), 3);
    put16(h, field(1, KEY_OFFSET), 1);
    put32(h, field(1, DATA_LEN), 2);
    put32(h, field(1, DATA_OFFSET), 1);
    put16(h, field(2, KEY_OFFSET), 2);
    put32(h, field(2, DATA_LEN), 1);
    EXPECT_EQ(parse_exact(h), (Map{{"PSF", "PSF"}, {"SF", "SF"}}));
}

TEST(Psf, OffsetsWrapAroundThirtyTwoBits) {
    Bytes b = build({text("KEY", "value")});
    uint32_t key_start = get32(b, 8), data_start = get32(b, 12);
    put32(b, 8, key_start - 0x100);  // wraps below zero ...
    put16(b, field(0, KEY_OFFSET), 0x100);  // ... and back
    put32(b, 12, data_start + 0x80000000u);
    put32(b, field(0, DATA_OFFSET), 0x80000000u);
    EXPECT_EQ(parse_exact(b), (Map{{"KEY", "value"}}));

    // data_offset + data_len would wrap in 32 bits to a small number: skipped.
    b = build({text("KEY", "value")});
    put32(b, field(0, DATA_LEN), 0xFFFFFFF0u);
    EXPECT_TRUE(parse_exact(b).empty());
    // A huge data table start with a small offset lands past the end.
    b = build({text("KEY", "value")});
    put32(b, 12, 0xFFFFFFFFu);
    put32(b, field(0, DATA_OFFSET), 0);
    EXPECT_TRUE(parse_exact(b).empty());
}

TEST(Psf, KeyWithoutNulEndsAtTheBufferEnd) {
    Bytes b = build({text("KEY", "v")});
    // Point the key at the last byte of the file, which is the value's NUL,
    // then overwrite it with a letter: no NUL before the end.
    b.back() = 'Z';
    put32(b, 8, uint32_t(b.size() - 1));
    put16(b, field(0, KEY_OFFSET), 0);
    EXPECT_EQ(parse_exact(b), (Map{{"Z", "vZ"}}));
}

TEST(GameInfo, EmptyOrMissingFolderGivesNothing) {
    GameInfo info = game_info("");
    EXPECT_FALSE(info.ok);
    EXPECT_EQ(info.title_id, "");
    EXPECT_EQ(info.app_ver, "");
    EXPECT_EQ(info.title, "");

    TempDir dir;
    info = game_info(dir.path().string());
    EXPECT_FALSE(info.ok);
    EXPECT_EQ(info.title, "");

    std::filesystem::create_directory(dir / "eboot.bin");
    Bytes sfo = build({text("TITLE", "x")});
    write_file(dir / "sce_sys" / "param.sfo", std::string(sfo.begin(), sfo.end()));
    info = game_info(dir.path().string());
    EXPECT_FALSE(info.ok);
    EXPECT_EQ(info.title_id, "");
}

TEST(GameInfo, FallbacksWhenParamSfoIsMissingOrBroken) {
    TempDir dir;
    write_file(dir / "eboot.bin", "ELF");
    GameInfo info = game_info(dir.path().string());
    EXPECT_TRUE(info.ok);
    EXPECT_EQ(info.title_id, "?");
    EXPECT_EQ(info.app_ver, "?");
    EXPECT_EQ(info.title, "Veltrane");

    Bytes good = build({text("TITLE_ID", "CUSA00000")});
    write_file(dir / "sce_sys" / "param.sfo", std::string(good.begin(), good.begin() + 19));
    info = game_info(dir.path().string());
    EXPECT_EQ(info.title_id, "?");
    EXPECT_EQ(info.title, "Veltrane");

    std::string tagged(good.begin(), good.end());
    tagged[1] = 'X';
    write_file(dir / "sce_sys" / "param.sfo", tagged);
    EXPECT_EQ(game_info(dir.path().string()).title_id, "?");

    // param.sfo that is a folder reads as nothing.
    std::filesystem::remove(dir / "sce_sys" / "param.sfo");
    std::filesystem::create_directory(dir / "sce_sys" / "param.sfo");
    info = game_info(dir.path().string());
    EXPECT_TRUE(info.ok);
    EXPECT_EQ(info.app_ver, "?");
}

TEST(GameInfo, ReadsTheDumpIdentityAndFollowsLinks) {
    TempDir dir;
    write_file(dir / "real" / "eboot.bin", "ELF");
    std::filesystem::create_directory(dir / "dump");
    std::filesystem::create_symlink(dir / "real" / "eboot.bin", dir / "dump" / "eboot.bin");
    Bytes sfo = build({text("TITLE_ID", "CUSA00000"), text("APP_VER", "", 0), text("TITLE", "Veltrane")});
    // APP_VER present with data_len 0: an empty string, not the fallback.
    put32(sfo, field(1, DATA_LEN), 0);
    write_file(dir / "dump" / "sce_sys" / "param.sfo", std::string(sfo.begin(), sfo.end()));
    GameInfo info = game_info((dir / "dump").string());
    EXPECT_TRUE(info.ok);
    EXPECT_EQ(info.title_id, "CUSA00000");
    EXPECT_EQ(info.app_ver, "");
    EXPECT_EQ(info.title, "Veltrane");

    std::filesystem::remove(dir / "real" / "eboot.bin");
    EXPECT_FALSE(game_info((dir / "dump").string()).ok);  // dangling link
}

// A FIFO would block a plain read for good, /dev/zero would never end and a
// huge file would stall every frame: none of them is read, each gives the
// fallbacks. The child is killed by its timer if a call blocks.
TEST(GameInfo, ParamSfoThatIsNoRealFileGivesTheFallbacks) {
    TempDir dir;
    write_file(dir / "eboot.bin", "ELF");
    std::filesystem::create_directories(dir / "sce_sys");
    const std::filesystem::path sfo = dir / "sce_sys" / "param.sfo";
    const std::string folder = dir.path().string();
    auto falls_back = [folder] {
        GameInfo info = game_info(folder);
        return info.ok && info.title_id == "?" && info.app_ver == "?" && info.title == "Veltrane" ? 0 : 1;
    };
    ASSERT_EQ(mkfifo(sfo.c_str(), 0644), 0);
    EXPECT_EQ(run_in_child(falls_back, false), 0) << "FIFO (142: blocked)";

    std::filesystem::remove(sfo);
    std::filesystem::create_symlink("/dev/zero", sfo);
    EXPECT_EQ(run_in_child(falls_back, false), 0) << "link to /dev/zero (134: uncaught exception)";

    // A real header and identity at the front of a 50 MB file.
    std::filesystem::remove(sfo);
    Bytes good = build({text("TITLE_ID", "CUSA00000")});
    write_file(sfo, std::string(good.begin(), good.end()));
    EXPECT_EQ(game_info(folder).title_id, "CUSA00000");
    std::filesystem::resize_file(sfo, 50u << 20);
    unsigned long long before = bytes_read_by_process();
    EXPECT_EQ(falls_back(), 0) << "50 MB file";
    EXPECT_LT(bytes_read_by_process() - before, 4096u);
}

// The Play page and the frame loop ask every frame; the file is read again
// only when it changed.
TEST(GameInfo, ParamSfoIsReadOncePerChange) {
    TempDir dir;
    write_file(dir / "eboot.bin", "ELF");
    const std::filesystem::path sfo = dir / "sce_sys" / "param.sfo";
    Bytes first = build({text("TITLE_ID", "CUSA00000"), text("TITLE", std::string(30000, 'v'))});
    write_file(sfo, std::string(first.begin(), first.end()));
    const std::string folder = dir.path().string();
    EXPECT_EQ(game_info(folder).title_id, "CUSA00000");
    unsigned long long before = bytes_read_by_process();
    for (int i = 0; i < 100; ++i) ASSERT_EQ(game_info(folder).title.size(), 30000u);
    EXPECT_LT(bytes_read_by_process() - before, 30000u) << "read again without a change";

    Bytes second = build({text("TITLE_ID", "CUSA99999")});
    write_file(sfo, std::string(second.begin(), second.end()));
    EXPECT_EQ(game_info(folder).title_id, "CUSA99999");
    EXPECT_EQ(game_info(folder).title, "Veltrane");
}
