// Hand-written PDF files for the reader's tests: objects with a correct classic
// cross-reference table, and updates that link to the section before.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace readertest {

class PdfText {
public:
  explicit PdfText(std::string header = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n") : s_(std::move(header)) {}

  // "n g obj" body "endobj"; the newest definition of a number is the one listed.
  void Obj(int n, const std::string& body, int gen = 0);
  // A section with one subsection from 0 over every object so far.
  void FullXref(const std::string& trailer);
  // An update section listing only the given objects, one-entry subsections, with Prev.
  void UpdateXref(const std::vector<int>& objects, const std::string& trailer);
  // Raw text, for damage.
  void Raw(const std::string& text) { s_ += text; }

  const std::string& str() const { return s_; }
  long long lastXref() const { return lastXref_; }
  long long offsetOf(int n) const { return offsets_.at(n).first; }

private:
  void Tail(long long xref);
  std::string s_;
  std::map<int, std::pair<long long, int>> offsets_;
  long long lastXref_ = 0;
};

} // namespace readertest
