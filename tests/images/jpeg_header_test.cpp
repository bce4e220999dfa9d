// The JPEG marker walk on memory, and the XObject stream it leads to.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "fixtures.h"
#include "images/jpeg_xobject.h"
#include "images/xobject.h"
#include "pdfwriter/assembly.h"
#include "test_support.h"

namespace {

using fixtures::EncodeJpeg;
using fixtures::JpegOptions;
using fixtures::Pattern;

bool Parse(const std::string& bytes, images::JpegHeader& h) {
  images::MemorySource src(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  return images::ReadJpegHeader(src, h);
}

// Offset of the first frame header marker (FF Cx) of a libjpeg file.
size_t FrameMarker(const std::string& j) {
  for (size_t i = 2; i + 1 < j.size(); ++i)
    if (static_cast<uint8_t>(j[i]) == 0xFF && (static_cast<uint8_t>(j[i + 1]) & 0xF0) == 0xC0 &&
        static_cast<uint8_t>(j[i + 1]) != 0xC4)
      return i;
  return std::string::npos;
}

TEST(JpegHeader, ReadsSizeComponentsAndStart) {
  struct Case {
    int components;
    bool progressive;
  } cases[] = {{1, false}, {3, false}, {3, true}, {4, false}};
  for (const Case& c : cases) {
    JpegOptions o;
    o.progressive = c.progressive;
    std::string j = EncodeJpeg(Pattern(37, 21, c.components), o);
    images::JpegHeader h;
    ASSERT_TRUE(Parse(j, h)) << c.components;
    EXPECT_EQ(h.width, 37);
    EXPECT_EQ(h.height, 21);
    EXPECT_EQ(h.components, c.components);
    EXPECT_EQ(h.precision, 8);
    EXPECT_EQ(h.dataStart, 0);
    EXPECT_EQ(h.adobe, c.components == 4);
  }
}

TEST(JpegHeader, DensityOfJfifSegment) {
  struct Case {
    int unit, x, y;
    float expectX, expectY;
  } cases[] = {
      {2, 28, 28, 71.12f, 71.12f}, // dots per centimetre
      {0, 1, 1, -1, -1},           // aspect ratio only
      {1, 300, 150, 300, 150},     // dots per inch
      {1, 0, 72, 0, 0},            // a zero density states nothing
      {7, 10, 20, 10, 20},         // unknown units keep the numbers
  };
  for (const Case& c : cases) {
    JpegOptions o;
    o.densityUnit = c.unit;
    o.xDensity = c.x;
    o.yDensity = c.y;
    images::JpegHeader h;
    ASSERT_TRUE(Parse(EncodeJpeg(Pattern(8, 8, 3), o), h));
    EXPECT_NEAR(h.xResolution, c.expectX, 0.001) << c.unit << " " << c.x;
    EXPECT_NEAR(h.yResolution, c.expectY, 0.001) << c.unit << " " << c.y;
  }
}

std::string PhotoshopResolution(int xInt, int xFrac, int yInt, int yFrac, bool withName) {
  std::string s = std::string("Photoshop 3.0", 13) + '\0';
  auto u16 = [&](int v) {
    s += static_cast<char>(v >> 8);
    s += static_cast<char>(v & 0xFF);
  };
  auto u32 = [&](uint32_t v) {
    u16(static_cast<int>(v >> 16));
    u16(static_cast<int>(v & 0xFFFF));
  };
  // An unrelated resource first, with an odd-length name and odd-length data.
  s += "8BIM";
  u16(0x0404);
  if (withName) {
    s += '\x03';
    s += "abc";
  } else {
    s += std::string(2, '\0');
  }
  u32(3);
  s += "xyz";
  s += '\0';
  s += "8BIM";
  u16(0x03ED);
  s += std::string(2, '\0');
  u32(16);
  u16(xInt);
  u16(xFrac);
  u16(1);
  u16(1);
  u16(yInt);
  u16(yFrac);
  u16(1);
  u16(1);
  return s;
}

TEST(JpegHeader, PhotoshopResolutionOverridesEarlierJfifDensity) {
  for (bool withName : {false, true}) {
    JpegOptions o;
    o.densityUnit = 1;
    o.xDensity = 96;
    o.yDensity = 96;
    o.extraApp13 = PhotoshopResolution(300, 0x8000, 150, 0x4000, withName);
    images::JpegHeader h;
    ASSERT_TRUE(Parse(EncodeJpeg(Pattern(8, 8, 3), o), h));
    EXPECT_FLOAT_EQ(h.xResolution, 300.5f) << withName;
    EXPECT_FLOAT_EQ(h.yResolution, 150.25f) << withName;
  }
}

TEST(JpegHeader, StartOfImageWithin768Bytes) {
  std::string j = EncodeJpeg(Pattern(16, 16, 3));
  struct Case {
    size_t garbage;
    bool accepted;
  } cases[] = {{0, true}, {700, true}, {768, true}, {769, false}, {1000, false}};
  for (const Case& c : cases) {
    // Garbage that holds 0xFF bytes followed by other markers, but no start of image.
    std::string g(c.garbage, 'x');
    for (size_t i = 0; i + 2 < g.size(); i += 50)
      g[i] = '\xFF';
    images::JpegHeader h;
    EXPECT_EQ(Parse(g + j, h), c.accepted) << c.garbage;
    if (c.accepted) {
      EXPECT_EQ(h.dataStart, static_cast<int64_t>(c.garbage));
    }
  }
  // Repeated fill bytes before the marker: the last one is where the data starts.
  images::JpegHeader h;
  ASSERT_TRUE(Parse(std::string("ab\xFF\xFF\xFF", 5) + j.substr(1), h));
  EXPECT_EQ(h.dataStart, 4);
}

TEST(JpegHeader, RefusesWhatCannotPassThrough) {
  std::string j = EncodeJpeg(Pattern(16, 16, 3));
  size_t sof = FrameMarker(j);
  ASSERT_NE(sof, std::string::npos);
  struct Case {
    const char* name;
    size_t offset; // from the frame marker
    uint8_t value;
  } cases[] = {
      {"12-bit precision", 4, 12},        {"lossless", 1, 0xC3},
      {"arithmetic sequential", 1, 0xC9}, {"arithmetic progressive", 1, 0xCA},
      {"hierarchical", 1, 0xC5},          {"zero height", 6, 0},
      {"two components", 9, 2},
  };
  for (const Case& c : cases) {
    std::string bad = j;
    if (std::string(c.name) == "zero height") bad[sof + 5] = 0;
    bad[sof + c.offset] = static_cast<char>(c.value);
    images::JpegHeader h;
    EXPECT_FALSE(Parse(bad, h)) << c.name;
  }
  // Extended sequential Huffman frames are accepted.
  std::string extended = j;
  extended[sof + 1] = '\xC1';
  images::JpegHeader h;
  EXPECT_TRUE(Parse(extended, h));

  EXPECT_FALSE(Parse(j.substr(0, sof + 5), h)) << "truncated frame header";
  EXPECT_FALSE(Parse(j.substr(0, 30), h)) << "ends before the frame";
  EXPECT_FALSE(Parse(std::string("\xFF\xD8\xFF\xD9", 4), h)) << "end of image first";
  EXPECT_FALSE(Parse(std::string("\xFF\xD8\xFF\xE0\x00\x01", 6), h)) << "segment length 1";
  EXPECT_FALSE(Parse("", h));
}

// Captures the writer's output in memory.
class MemorySink : public pdf::Sink {
public:
  explicit MemorySink(std::string* out) : out_(out) {}
  size_t Write(const void* bytes, size_t n) override {
    out_->append(static_cast<const char*>(bytes), n);
    return n;
  }

private:
  std::string* out_;
};

// XORs with a running counter that restarts at each key selection, and records the keys.
class CountingEncryptor : public pdf::Encryptor {
public:
  std::vector<int> objects;
  void SelectObjectKey(int objectNumber, int generation) override {
    objects.push_back(objectNumber * 100 + generation);
    counter_ = static_cast<uint8_t>(objectNumber);
  }
  void EncryptBytes(uint8_t* data, size_t n) override {
    for (size_t i = 0; i < n; ++i)
      data[i] ^= counter_++;
  }

private:
  uint8_t counter_ = 0;
};

TEST(JpegXObject, StreamIsFileFromStartOfImageEncryptedWithItsObjectKey) {
  testsupport::ScratchDir dir;
  // Over 1024 bytes, with garbage before and bytes after the end of image.
  std::string jpeg = EncodeJpeg(Pattern(120, 90, 3));
  ASSERT_GT(jpeg.size(), 3000u);
  std::string file = std::string(300, '\x01') + jpeg + "TRAILING";
  std::string path = dir.file("in.jpg");
  testsupport::WriteFile(path, file);

  std::string out;
  pdf::Writer w(pdf::Allocator::Default(), std::make_unique<MemorySink>(&out));
  w.SetBaseNumber(40);
  CountingEncryptor enc;
  w.encryptor = &enc;
  pdf::DocumentData data;
  images::XObjectList list;
  pdf::GraphicsStack graphics;
  images::ImageContext ctx{w, data, list, graphics};
  images::ImageTable table;
  int index = images::LoadJpegImage(ctx, table, path.c_str());
  ASSERT_GE(index, 0);
  w.Flush();
  ASSERT_EQ(list.entries.size(), 1u);
  int object = list.entries[0].objectNumber;
  ASSERT_EQ(enc.objects.size(), 1u);
  EXPECT_EQ(enc.objects[0], (object + 40) * 100);

  size_t begin = out.find("stream\r\n");
  size_t end = out.find("\rendstream");
  ASSERT_NE(begin, std::string::npos);
  ASSERT_NE(end, std::string::npos);
  std::string body = out.substr(begin + 8, end - begin - 8);
  std::string expected = jpeg + "TRAILING";
  ASSERT_EQ(body.size(), expected.size());
  uint8_t k = static_cast<uint8_t>(object + 40);
  for (size_t i = 0; i < body.size(); ++i, ++k)
    ASSERT_EQ(static_cast<uint8_t>(body[i] ^ k), static_cast<uint8_t>(expected[i])) << i;
  EXPECT_NE(out.find("/Filter /DCTDecode /DecodeParms << >> "), std::string::npos)
      << out.substr(0, 400);
  EXPECT_NE(out.find(std::to_string(expected.size()) + " endobj"), std::string::npos);
}

} // namespace
