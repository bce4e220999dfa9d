// Helpers of the text tests: a document in a scratch folder and the inflated content streams
// of a finished file.
#pragma once

#include <zlib.h>

#include <string>
#include <vector>

#include "engine/engine.h"
#include "test_support.h"

namespace texttest {

// Inflates every stream of the file, in file order. Documents without images hold one
// content stream per page and no other streams, so stream k is page k's content.
inline std::vector<std::string> InflatedStreams(const std::string& pdf) {
  std::vector<std::string> out;
  size_t pos = 0;
  const std::string open = "stream\r\n", close = "\rendstream";
  while ((pos = pdf.find(open, pos)) != std::string::npos) {
    size_t start = pos + open.size();
    size_t end = pdf.find(close, start);
    if (end == std::string::npos) break;
    std::string data;
    z_stream zs{};
    inflateInit(&zs);
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(pdf.data() + start));
    zs.avail_in = static_cast<uInt>(end - start);
    char buf[4096];
    int rc;
    do {
      zs.next_out = reinterpret_cast<Bytef*>(buf);
      zs.avail_out = sizeof buf;
      rc = inflate(&zs, Z_NO_FLUSH);
      data.append(buf, sizeof buf - zs.avail_out);
    } while (rc == Z_OK);
    inflateEnd(&zs);
    out.push_back(data);
    pos = end;
  }
  return out;
}

// One engine document written into a scratch folder.
class Document {
public:
  explicit Document(const std::string& name = "out.pdf") : path_(dir_.file(name)) {
    handle_ = EngineCreate(path_.c_str());
  }
  ~Document() {
    if (handle_) EngineClose(handle_);
  }
  int h() const { return handle_; }
  const std::string& path() const { return path_; }
  // Closes the document and returns the content of each page.
  std::vector<std::string> Close() {
    EngineClose(handle_);
    handle_ = 0;
    return InflatedStreams(testsupport::ReadFile(path_));
  }
  std::string file(const std::string& name) const { return dir_.file(name); }

private:
  testsupport::ScratchDir dir_;
  std::string path_;
  int handle_ = 0;
};

inline int Measure(int h, int key, int code, int size, const char* text) {
  return EngineQuery(h, key, reinterpret_cast<int*>(static_cast<intptr_t>(code)),
                     reinterpret_cast<int*>(static_cast<intptr_t>(size)), const_cast<char*>(text),
                     nullptr);
}

} // namespace texttest
