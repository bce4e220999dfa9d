#include "pdf_text.h"

#include <cstdio>

namespace readertest {

namespace {
std::string Entry(long long offset, int gen, char type) {
  char b[32];
  std::snprintf(b, sizeof b, "%010lld %05d %c \n", offset, gen, type);
  return b;
}
} // namespace

void PdfText::Obj(int n, const std::string& body, int gen) {
  offsets_[n] = {static_cast<long long>(s_.size()), gen};
  s_ += std::to_string(n) + " " + std::to_string(gen) + " obj\n" + body + "\nendobj\n";
}

void PdfText::FullXref(const std::string& trailer) {
  long long xref = static_cast<long long>(s_.size());
  int highest = offsets_.empty() ? 0 : offsets_.rbegin()->first;
  s_ += "xref\n0 " + std::to_string(highest + 1) + "\n" + Entry(0, 65535, 'f');
  for (int n = 1; n <= highest; ++n) {
    auto it = offsets_.find(n);
    s_ += it == offsets_.end() ? Entry(0, 0, 'f') : Entry(it->second.first, it->second.second, 'n');
  }
  s_ += "trailer\n<< " + trailer + " >>\n";
  Tail(xref);
}

void PdfText::UpdateXref(const std::vector<int>& objects, const std::string& trailer) {
  long long xref = static_cast<long long>(s_.size());
  s_ += "xref\n0 1\n" + Entry(0, 65535, 'f');
  for (int n : objects) {
    const auto& e = offsets_.at(n);
    s_ += std::to_string(n) + " 1\n" + Entry(e.first, e.second, 'n');
  }
  s_ += "trailer\n<< " + trailer + " /Prev " + std::to_string(lastXref_) + " >>\n";
  Tail(xref);
}

void PdfText::Tail(long long xref) {
  lastXref_ = xref;
  s_ += "startxref\n" + std::to_string(xref) + "\n%%EOF\n";
}

} // namespace readertest
