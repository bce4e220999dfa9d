// File structure: header, page objects, page tree, catalog, Info dictionary, outlines,
// cross-reference section and trailer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "md5.h"
#include "writer.h"

namespace pdf {

// Procedure-set classes a page's images used.
enum ProcSet : unsigned { kProcImageB = 1, kProcImageC = 2, kProcImageI = 4 };

struct ViewerSettings {
  int pageMode = 0;       // 0 none, 1 page only, 2 outlines, 3 thumbnails, 4 full screen
  int openActionKind = 0; // 0 none, 1..4 destination forms
  int startPage = 1;
  int viewerFlags = 0;
};

struct InfoTexts {
  std::string texts[5]; // Title, Subject, Author, Keywords, Creator (bytes as given)
  std::string producer;
  struct Custom {
    std::string key, value;
  };
  std::vector<Custom> custom; // most recent last; written most recent first
  std::string creationDate;   // fixed text (append mode keeps the old one); empty = now
};

struct OutlineEntry {
  int objectNumber = 0;
  int prevObject = 0;
  int nextObject = 0;
  std::string title;
  int pageIndex = 0; // from 1
};

// Everything the file structure needs besides the writer's object table.
struct DocumentData {
  // Page list: object number of page k at index k - 1.
  std::vector<int> pages;
  int pageCount = 0;
  std::vector<int> leaves; // one page-tree leaf per 10 pages

  // The open page.
  bool inPage = false;
  double pageWidth = 0, pageHeight = 0;
  unsigned procSets = 0;
  int rotation = 0; // applies to pages ended after it is set

  ViewerSettings viewer;
  InfoTexts info;
  int catalogNumber = 0;
  int infoNumber = 0;

  int outlineRoot = 0;
  std::vector<OutlineEntry> outlines;

  Md5 idDigest;
};

// Writers of the resource entries that other subsystems own.
struct PageResourceWriters {
  std::function<void()> xobjects; // /XObject entry, before the ProcSet
  std::function<void()> fonts;    // /Font entry, after the ProcSet
};

struct CloseHooks {
  std::function<void()> fontObjects;         // font objects, after the Info dictionary
  std::function<int()> encryptionDictionary; // returns its object number, 0 when off
  const uint8_t* securityFileId = nullptr;   // the identifier when security is on
  std::string outputPath;                    // part of the identifier, unless "-"
};

// A stretch of an existing object's text, [begin, end); found is false when absent.
struct TextSpan {
  size_t begin = 0, end = 0;
  bool found = false;
};

// An existing object that an incremental update writes again under its own number.
struct ExistingObject {
  int number = 0;
  int generation = 0;
  std::string text; // from its header through "endobj"
};

// What an incremental update needs to know about the file it extends.
struct AppendTarget {
  int64_t fileLength = 0;
  bool needsLineEnd = false; // the file's last byte is not a line end
  int highestObject = 0;
  int64_t previousXref = 0;
  int rootNumber = 0;
  int encryptNumber = 0, encryptGeneration = 0;
  int infoNumber = 0, infoGeneration = 0; // 0 when the file has no Info dictionary
  bool hasId = false;
  bool firstIdHex = false;
  std::string firstIdRaw; // the first identifier string as written, without delimiters
  // The catalog, the spans (key through value) of the entries viewer settings replace, and
  // the offset of the ">>" that closes its dictionary.
  ExistingObject catalog;
  TextSpan openAction, pageMode, viewerPreferences;
  size_t catalogDictEnd = 0;
  // The page-tree root with the span of its Count value. A new kid's reference goes at
  // kidsInsert (the "]" of Kids): in pages.text, or in kidsArray.text when Kids is an
  // indirect array (kidsArray.number not 0).
  ExistingObject pages;
  TextSpan countValue;
  ExistingObject kidsArray;
  size_t kidsInsert = 0;
  int rootCount = 0;
  int pageCount = 0;
  std::vector<int> pageObjects;     // the existing pages (page-tree leaves), in document order
  std::vector<int> pageGenerations; // their generations
};

void WriteHeader(Writer& w);

// Numbers the page (unless already numbered) and opens its first content stream.
void BeginPage(Writer& w, DocumentData& d, double width, double height);
// Ends the content stream, writes the page object and its resources, flushes.
void EndPage(Writer& w, DocumentData& d, const PageResourceWriters& resources);
// Takes back the open page, on which nothing was drawn: it is not counted and, where its
// bytes are still in the buffer, leaves no trace in the file.
void DropPage(Writer& w, DocumentData& d);

// Reserves the object number of page `index` (from 1) ahead of time; returns it.
int PageObjectNumber(Writer& w, DocumentData& d, int index);

// Outline entry for the page being ended; returns its index (from 1).
int AddOutlineEntry(Writer& w, DocumentData& d, const std::string& title);

// Writes the page tree over all pages with `parent` above its top node (0 for none);
// returns the top node's number.
int WritePageTree(Writer& w, DocumentData& d, int parent);

void WriteInfo(Writer& w, DocumentData& d);
void WriteCatalog(Writer& w, DocumentData& d, int pagesRoot);
void WriteOutlines(Writer& w, DocumentData& d);
void WriteEmptyObjects(Writer& w);

// Text string of object `objectNumber`: literal form, or encrypted hexadecimal with security on.
void WriteInfoString(Writer& w, int objectNumber, const std::string& s);

// The whole tail of a new file.
void FinishNewFile(Writer& w, DocumentData& d, const CloseHooks& hooks);

// The tail of an incremental update of the file t describes: new pages under its page-tree
// root, the rewritten root, catalog (when viewer settings are present) and Info, the
// cross-reference section and the trailer linked to the previous one.
void FinishAppendUpdate(Writer& w, DocumentData& d, const CloseHooks& hooks, const AppendTarget& t);

} // namespace pdf
