// Places image frames on pages: page size, margins, N-up cells in either order, fit or
// stretch, repeat, and the border grid. One call per frame of every input file.
#pragma once

#include <functional>
#include <string>

#include "app/engine_calls.h"

namespace app {

// The layout settings the composer reads.
struct PageLayout {
  int pageSize = 0;         // 0 ImageSize, 1 A3, 2 A4, 3 A5, 4 B5, 5 Letter, 6 Legal, 7 Custom
  int pageW = 0, pageH = 0; // Custom
  int xdpi = 72, ydpi = 72; // ImageSize pages; 0 keeps the pixel size
  int mTop = 0, mLeft = 0, mRight = 0, mBottom = 0;
  int layout = 1; // images per page: 1, 2, 4, 6, 9, 16
  int order = 0;  // 0 Horizontal (row by row), 1 Vertical (column by column)
  bool repeat = false;
  bool border = false;
  int imgFit = 0; // 0 Fit, 1 Stretch
};

struct PageSize {
  int width = 0, height = 0;
};

// Size of a named or custom page; Letter for an incomplete custom size.
PageSize NamedPageSize(const PageLayout& l);

struct Grid {
  int columns = 0, rows = 0; // 0 for an unsupported images-per-page value
};
Grid GridFor(int layout, int order);

// Drawn size of an iw x ih frame in a cw x ch cell.
PageSize FitSize(int fit, int cw, int ch, int iw, int ih);

class PageComposer {
public:
  // decorate draws header, footer and watermarks on a finished page of W x H points.
  using Decorate = std::function<void(int handle, int width, int height)>;

  PageComposer(EngineCalls& engine, const PageLayout& layout, Decorate decorate);

  // Adds frame frameIndex (from 0) of path; returns EngineAddImage's result (0 when nothing
  // was added). title is the bookmark of a page this call begins (empty: none).
  int AddFrame(int handle, int frameIndex, const std::string& path, int frameCount,
               const std::string& title);

  // Completes a page that holds frames but is not full (the end of a document).
  void FinishDocument(int handle);

  // A new output document starts with an empty page.
  void Reset() {
    cellCounter_ = 0;
    placedOnPage_ = 0;
  }
  int cellCounter() const { return cellCounter_; }

  // Decorations, border, end of page.
  void CompletePage(int handle, int width, int height);

private:
  void BeginPage(int handle, int width, int height, const std::string& title);
  void SetBox(int handle, int x, int y, int w, int h);
  int Add(int handle, int frameIndex, const std::string& path);
  void DrawBorder(int handle, int width, int height);

  EngineCalls& engine_;
  PageLayout layout_;
  Decorate decorate_;
  int cellCounter_ = 0;
  int placedOnPage_ = 0; // images added to the n-up page in progress
  // Takes back the open page when nothing was drawn on it; false when it stays.
  bool DropPage(int handle);
  PageSize current_; // the page in progress (several images per page)
};

} // namespace app
