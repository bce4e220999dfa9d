// The engine's document record and the process-wide table of open documents.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "images/image_record.h"
#include "pdfwriter/assembly.h"
#include "pdfwriter/graphics_state.h"
#include "pdfwriter/security.h"
#include "pdfwriter/writer.h"
#include "reader/pdf_reader.h"
#include "text/fonts.h"
#include "text/text_writer.h"

namespace engine {

inline constexpr uint32_t kMagic = 0x126960a1;
inline constexpr int kMaxDocuments = 1023;
inline constexpr char kDefaultFont[] = "Helvetica";
inline constexpr char kDefaultEncoding[] = "WinAnsiEncoding";

enum class OpenMode { kNew, kAppend };

struct PageState {
  int frameFirst = 1, frameCount = 0;
  int textSize = 16;
  char fontName[64] = {};
  char fontEncoding[64] = {};
  int fontEmbed = 0; // option 130: embed the current font's program
  int textLeft = 64, textTop = 64;
  int textOptionA = 0, textOptionB = 0, textOptionC = 0;
  int boxX = 0, boxY = 0, boxW = 0, boxH = 0;
  int pageWidth = 594, pageHeight = 792;
  bool pageOpen = false;
  int pageKind = 0; // 1 automatic image page, 2 begun by option or for text, 3 for a line
  // Single-byte or UTF-16BE text (which holds NUL bytes), at most 255 characters.
  std::string pendingBookmark;

  // Per-page part, restored whenever a page begins or ends.
  void ResetForNewPage();
  // Everything, including the page size and the open-page fields.
  void ResetFully();
};

struct EngineDocument {
  uint32_t magic = kMagic;
  std::string path;
  OpenMode openMode = OpenMode::kNew;

  std::unique_ptr<pdf::Writer> writer;
  pdf::DocumentData data;
  pdf::GraphicsStack graphics;
  text::FontTable fonts;
  text::TextWriter textWriter;

  // Compression choices per image class (1 bitonal, 2 grey, 3 colour), lower case.
  char compression[3][9] = {};
  bool skewCorrection = false;
  bool secondImage = false;
  int jpegQuality = 0;
  int ignoreMaskLevel = 0;
  // Non-JPEG inputs are written without loss (Deflate, CCITT G4 or palettes) instead of JPEG.
  bool lossless = false;
  // JPEG inputs are drawn upright by their Exif orientation.
  bool autoRotate = false;

  PageState page;

  // Image XObjects of the document and the records of images being placed.
  images::XObjectList xobjects;
  images::ImageTable images;
  // Password security of a new document, or the existing file's key in Append mode; the
  // writer's encryptor points here.
  std::unique_ptr<pdf::StandardSecurity> security;

  // Append mode: what the reader found in the file, and the file (owned by the writer's
  // sink) that is cut back to its old length when the update fails.
  std::unique_ptr<reader::ExistingDocument> existing;
  int appendFd = -1;

  ~EngineDocument() { magic = 0; }
};

// Lookup of a live document; null for a bad or closed handle.
EngineDocument* Lookup(int handle);

// Page steps shared by the options and the drawing operations.
void BeginPage(EngineDocument& doc, int width, int height, bool moveTextCursor);
void EndPage(EngineDocument& doc);
// Takes back the open page when nothing was drawn on it; false leaves everything as it was.
bool DropPage(EngineDocument& doc);

// Test hook: appended files accept only this many more bytes (a full disk); < 0 is no limit.
void SetAppendWriteLimitForTesting(long long bytes);

// Option and query dispatch (options.cpp).
int SetOption(EngineDocument& doc, int key, int intA, int intB, const char* textA,
              const char* textB);
int Query(EngineDocument& doc, int key, int* outA, int* outB, char* textA, const char* textB);
// Keys 201-205 and 211: frames, size, resolution and depth of the input file textA.
int ImageQuery(EngineDocument& doc, int key, int* outA, int* outB, char* textA, const char* textB);

// Text measuring of query keys 250 (width) and 251 (height) (draw.cpp); fontCode 0 and
// size 0 mean the current ones.
int MeasureText(EngineDocument& doc, int key, int fontCode, int size, const char* text);
// The standard font of a code with the encoding it is measured in; false for other codes.
bool StandardFontForCode(int code, const char** name, const char** encoding);

} // namespace engine
