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
  int pageMode = 0;        // 0 none, 1 page only, 2 outlines, 3 thumbnails, 4 full screen
  int openActionKind = 0;  // 0 none, 1..4 destination forms
  int startPage = 1;
  int viewerFlags = 0;
};

struct InfoTexts {
  std::string texts[5];  // Title, Subject, Author, Keywords, Creator (bytes as given)
  std::string producer;
  struct Custom {
    std::string key, value;
  };
  std::vector<Custom> custom;  // most recent last; written most recent first
  std::string creationDate;    // fixed text (append mode keeps the old one); empty = now
};

struct OutlineEntry {
  int objectNumber = 0;
  int prevObject = 0;
  int nextObject = 0;
  std::string title;
  int pageIndex = 0;  // from 1
};

// Everything the file structure needs besides the writer's object table.
struct DocumentData {
  // Page list: object number of page k at index k - 1.
  std::vector<int> pages;
  int pageCount = 0;
  std::vector<int> leaves;  // one page-tree leaf per 10 pages

  // The open page.
  bool inPage = false;
  double pageWidth = 0, pageHeight = 0;
  unsigned procSets = 0;
  int rotation = 0;  // applies to pages ended after it is set

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
  std::function<void()> xobjects;  // /XObject entry, before the ProcSet
  std::function<void()> fonts;     // /Font entry, after the ProcSet
};

struct CloseHooks {
  std::function<void()> fontObjects;          // font objects, after the Info dictionary
  std::function<int()> encryptionDictionary;  // returns its object number, 0 when off
  const uint8_t* securityFileId = nullptr;    // the identifier when security is on
  std::string outputPath;                     // part of the identifier, unless "-"
};

void WriteHeader(Writer& w);

// Numbers the page (unless already numbered) and opens its first content stream.
void BeginPage(Writer& w, DocumentData& d, double width, double height);
// Ends the content stream, writes the page object and its resources, flushes.
void EndPage(Writer& w, DocumentData& d, const PageResourceWriters& resources);

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

}  // namespace pdf
