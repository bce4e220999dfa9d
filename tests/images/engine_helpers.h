// Building documents through the engine interface and asking independent readers about them.
#pragma once

#include <string>
#include <vector>

#include "engine/engine.h"
#include "test_support.h"

namespace enginetest {

// Creates `pdf`, places each file with no page open, closes; returns the placement results.
inline std::vector<int> PlaceEach(const std::string& pdf, const std::vector<std::string>& files) {
  std::vector<int> results;
  int h = EngineCreate(pdf.c_str());
  if (h == 0) return results;
  for (const std::string& f : files)
    results.push_back(PlaceImageFile(h, f.c_str()));
  EngineClose(h);
  return results;
}

// Runs a pikepdf snippet and returns its standard output with trailing blanks removed.
inline std::string Ask(const std::string& pdf, const std::string& python) {
  testsupport::RunResult r = testsupport::Pikepdf(pdf, python);
  std::string out = r.out;
  while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
    out.pop_back();
  if (r.status != 0) return "python failed: " + out;
  return out;
}

inline int PageCount(const std::string& pdf) {
  std::string n = Ask(pdf, "print(len(pikepdf.open(sys.argv[1]).pages))");
  return n.empty() || n[0] < '0' || n[0] > '9' ? -1 : std::stoi(n);
}

} // namespace enginetest
