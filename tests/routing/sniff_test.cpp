#include <gtest/gtest.h>

#include <string>

#include "engine/image_type.h"
#include "test_support.h"

namespace {

struct SniffCase {
  std::string head;
  const char* name;
  int expected;
};

void PrintTo(const SniffCase& c, std::ostream* os) {
  *os << c.name;
}

std::string Bytes(std::initializer_list<int> b) {
  std::string s;
  for (int v : b)
    s += static_cast<char>(v);
  return s;
}

class Sniff : public ::testing::TestWithParam<SniffCase> {};

TEST_P(Sniff, SignaturesComeBeforeExtensions) {
  const SniffCase& c = GetParam();
  testsupport::ScratchDir dir;
  std::string path = dir.file(c.name);
  testsupport::WriteFile(path, c.head);
  EXPECT_EQ(engine::SniffImageType(path.c_str()), c.expected);
}

std::string Emf() {
  std::string s(44, '\0');
  s[0] = 1;
  s.replace(40, 4, " EMF");
  return s;
}

INSTANTIATE_TEST_SUITE_P(
    Routing, Sniff,
    ::testing::Values(
        SniffCase{"BM\x36\x00", "a.bmp", 1}, SniffCase{"BMxx", "icon.ico", 1},
        SniffCase{"BAxx", "b.dat", 1}, SniffCase{Bytes({0x28, 0}), "dib", 1},
        SniffCase{"GIF89a", "g.gif", 2}, SniffCase{Bytes({0xFF, 0xD8, 0xFF, 0xE0}), "j.png", 3},
        SniffCase{"\x89PNG\r\n\x1A\n....", "photo.jpg", 4},
        SniffCase{Bytes({0, 0, 1, 0}), "ICON.ICO", 5},
        SniffCase{Bytes({'M', 'M', 0, '*'}), "t.tif", 6},
        SniffCase{Bytes({'I', 'I', '*', 0}), "t", 6}, SniffCase{"xxxx", "pic.TGA", 7},
        SniffCase{Bytes({0x0A, 0x05, 1}), "p.pcx", 8}, SniffCase{"\x00\x00", "w.wbmp", 9},
        SniffCase{Bytes({0xD7, 0xCD, 0xC6, 0x9A}), "m.wmf", 10}, SniffCase{Emf(), "e.emf", 10},
        SniffCase{Bytes({0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0D, 0x0A}), "j.jp2", 11},
        SniffCase{Bytes({0xFF, 0x4F, 0xFF, 0x51}), "c.jpc", 12}, SniffCase{"PG ML", "x.pgx", 13},
        SniffCase{"P6\n1 1\n255\n", "x.ppm", 14}, SniffCase{"Px", "x.pnm", -1},
        SniffCase{"\x59\xA6\x6A\x95", "s.ras", 15}, SniffCase{"\x8AMNG\r\n\x1A\n", "anim.mng", 1},
        SniffCase{"????", "k.ska", 18}, SniffCase{"????", "c.RAW", 19},
        SniffCase{"8BPS\x00\x01", "l.psd", 20}, SniffCase{"hello, world", "notes.jpg", -1},
        SniffCase{"", "empty.png", -1}, SniffCase{"B", "one-byte", -1},
        SniffCase{"tar", "archive.tar.tga", 7}, SniffCase{"x", "dir.ico/file", -1}));

TEST(Sniff, UnreadableFilesAreUnknown) {
  EXPECT_EQ(engine::SniffImageType("/nonexistent/file.jpg"), -1);
  EXPECT_EQ(engine::SniffImageType(""), -1);
  EXPECT_EQ(engine::SniffImageType(nullptr), -1);
  testsupport::ScratchDir dir;
  EXPECT_EQ(engine::SniffImageType(dir.path().c_str()), -1) << "a folder is no image";
}

} // namespace
