#include <gtest/gtest.h>
#include <zlib.h>

#include <memory>
#include <string>

#include "pdfwriter/assembly.h"
#include "pdfwriter/writer.h"

namespace {

// Collects everything in memory; can be told to accept only a limited number of bytes.
class MemorySink : public pdf::Sink {
public:
  explicit MemorySink(std::string* out, size_t limit = SIZE_MAX) : out_(out), limit_(limit) {}
  size_t Write(const void* bytes, size_t n) override {
    ++writes;
    size_t room = limit_ - out_->size();
    size_t take = n < room ? n : room;
    out_->append(static_cast<const char*>(bytes), take);
    return take;
  }
  int writes = 0;

private:
  std::string* out_;
  size_t limit_;
};

std::unique_ptr<pdf::Writer> MakeWriter(std::string* out, size_t limit = SIZE_MAX) {
  return std::make_unique<pdf::Writer>(pdf::Allocator::Default(),
                                       std::make_unique<MemorySink>(out, limit));
}

std::string Inflate(const std::string& data) {
  z_stream zs{};
  inflateInit(&zs);
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  std::string out;
  char chunk[16384];
  int rc;
  do {
    zs.next_out = reinterpret_cast<Bytef*>(chunk);
    zs.avail_out = sizeof chunk;
    rc = inflate(&zs, Z_NO_FLUSH);
    out.append(chunk, sizeof chunk - zs.avail_out);
  } while (rc == Z_OK);
  inflateEnd(&zs);
  return out;
}

TEST(Writer, StringForms) {
  std::string out;
  auto w = MakeWriter(&out);
  const char lit[] = "a(b)c\\d\ne\rf";
  w->WriteLiteralString(lit, sizeof lit - 1);
  w->WriteChar(' ');
  w->WriteName("A B#(x)/\xE9");
  w->WriteChar(' ');
  const uint8_t bytes[] = {0x00, 0xAB, 0x7F, 0xFF};
  w->WriteHex(bytes, sizeof bytes);
  w->WriteText(" %%EOF");
  w->Flush();
  EXPECT_EQ(out, "(a\\(b\\)c\\\\d\\ne\\rf) A#20B#23#28x#29#2F#E9 00AB7FFF %%EOF");
}

TEST(Writer, TextStringLengthStopsAtTheRightTerminator) {
  EXPECT_EQ(pdf::TextStringLength("plain"), 5u);
  const char utf16[] = "\xFE\xFF\x00\x41\x00\x00"; // BOM, "A", terminator
  EXPECT_EQ(pdf::TextStringLength(utf16), 4u);
  EXPECT_EQ(pdf::TextStringLength(nullptr), 0u);
}

TEST(Writer, BufferDoublesUntilFlushedAndOffsetsStayTrue) {
  std::string out;
  auto w = MakeWriter(&out);
  std::string chunk(100000, 'x');
  w->WriteBytes(chunk.data(), chunk.size());
  EXPECT_EQ(w->bufferCapacity(), 131072u);
  w->WriteBytes(chunk.data(), chunk.size());
  EXPECT_EQ(w->bufferCapacity(), 262144u);
  EXPECT_TRUE(out.empty()) << "nothing reaches the file before a flush";
  EXPECT_EQ(w->CurrentOffset(), 200000);
  w->Flush();
  EXPECT_EQ(out.size(), 200000u);
  EXPECT_EQ(w->CurrentOffset(), 200000);
}

TEST(Writer, ShortWriteStopsAllLaterOutput) {
  std::string out;
  auto w = MakeWriter(&out, 10);
  w->WriteText("0123456789ABCDEF");
  w->Flush();
  EXPECT_TRUE(w->failed());
  w->WriteText("more");
  w->Flush();
  EXPECT_EQ(out, "0123456789");
}

TEST(Writer, FlushWaitsWhileDeflating) {
  std::string out;
  auto w = MakeWriter(&out);
  w->BeginDeflate(1, 0);
  w->WriteText("inside");
  w->Flush();
  EXPECT_TRUE(out.empty());
  w->EndDeflate();
  w->Flush();
  EXPECT_EQ(Inflate(out), "inside");
}

TEST(Writer, ContentStreamCarriesItsLengthInASeparateObject) {
  std::string out;
  auto w = MakeWriter(&out);
  w->BeginContentStream();
  std::string ops;
  for (int i = 0; i < 5000; ++i)
    ops += "0 0 m 10 10 l S ";
  w->WriteText(ops);
  w->EndContentStream();
  w->Flush();
  // 1 0 obj is the stream, 2 0 obj its length.
  ASSERT_EQ(out.rfind("1 0 obj\r <</Length 2 0 R /Filter /FlateDecode >>  stream\r\n", 0), 0u)
      << out.substr(0, 80);
  size_t dataStart = out.find("stream\r\n") + 8;
  size_t dataEnd = out.find("\rendstream ");
  ASSERT_NE(dataEnd, std::string::npos);
  EXPECT_TRUE(Inflate(out.substr(dataStart, dataEnd - dataStart)) == ops);
  std::string lengthObj = "2 0 obj\r" + std::to_string(dataEnd - dataStart) + "\rendobj ";
  EXPECT_NE(out.find(lengthObj), std::string::npos) << out.substr(dataEnd);
}

TEST(Writer, ObjectsAllocatedButNeverWrittenBecomeEmptyObjects) {
  std::string out;
  auto w = MakeWriter(&out);
  int forward = w->NewObjectNumber();
  int written = w->BeginObject();
  w->WriteText("null endobj ");
  EXPECT_EQ(w->offsetOf(forward), -1);
  pdf::WriteEmptyObjects(*w);
  w->Flush();
  EXPECT_GE(w->offsetOf(forward), 0);
  EXPECT_EQ(out.substr(static_cast<size_t>(w->offsetOf(forward))), "1 0 obj\rendobj ");
  EXPECT_EQ(out.substr(static_cast<size_t>(w->offsetOf(written)), 8), "2 0 obj\r");
}

} // namespace
