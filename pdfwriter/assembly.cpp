#include "assembly.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <random>

#include "clock.h"
#include "names.h"

namespace pdf {

void WriteHeader(Writer& w) {
  w.WriteText(names::kHeader);
  w.WriteBytes(names::kHeaderMarker, names::kHeaderMarkerLength);
}

int PageObjectNumber(Writer& w, DocumentData& d, int index) {
  if (index < 1) return 0;
  if (static_cast<size_t>(index) > d.pages.size()) {
    size_t cap = d.pages.capacity() < 512 ? 512 : d.pages.capacity();
    while (cap < static_cast<size_t>(index)) cap *= 2;
    d.pages.reserve(cap);
    d.pages.resize(static_cast<size_t>(index), -1);
  }
  int& n = d.pages[static_cast<size_t>(index - 1)];
  if (n < 0) n = w.NewObjectNumber();
  return n;
}

void BeginPage(Writer& w, DocumentData& d, double width, double height) {
  d.pageCount += 1;
  PageObjectNumber(w, d, d.pageCount);
  d.pageWidth = width;
  d.pageHeight = height;
  d.procSets = 0;
  w.ClearContentStreams();
  w.contentState = ContentState::kNone;
  d.inPage = true;
  w.BeginContentStream();
}

void EndPage(Writer& w, DocumentData& d, const PageResourceWriters& resources) {
  if (!d.inPage) return;
  w.EndContentStream();
  int index = d.pageCount;
  size_t leaf = static_cast<size_t>((index - 1) / 10);
  while (d.leaves.size() <= leaf) d.leaves.push_back(w.NewObjectNumber());

  w.BeginObject(PageObjectNumber(w, d, index));
  w.WriteText(names::kDictOpen);
  w.WriteFormatted(names::kParent, {w.Ref(d.leaves[leaf])});
  w.WriteFormatted(names::kMediaBox, {d.pageWidth, d.pageHeight});
  w.WriteText(names::kPageType);
  if (d.rotation == 90 || d.rotation == 180 || d.rotation == 270)
    w.WriteFormatted(names::kRotate, {d.rotation});
  w.WriteText(names::kContentsOpen);
  for (int n : w.contentStreams()) w.WriteRef(n);
  w.WriteText(names::kArrayClose);
  int resourceNumber = w.NewObjectNumber();
  w.WriteFormatted(names::kResources, {w.Ref(resourceNumber)});
  w.WriteText(names::kDictClose);
  w.WriteText(names::kEndObj);

  w.BeginObject(resourceNumber);
  w.WriteText(names::kDictOpen);
  if (resources.xobjects) resources.xobjects();
  w.WriteText(names::kProcSetOpen);
  if (d.procSets & kProcImageB) w.WriteText(names::kProcImageB);
  if (d.procSets & kProcImageC) w.WriteText(names::kProcImageC);
  if (d.procSets & kProcImageI) w.WriteText(names::kProcImageI);
  w.WriteText(names::kArrayClose);
  if (resources.fonts) resources.fonts();
  w.WriteText(names::kDictClose);
  w.WriteText(names::kEndObj);

  w.ClearContentStreams();
  d.inPage = false;
  w.Flush();
}

void DropPage(Writer& w, DocumentData& d) {
  if (!d.inPage) return;
  // A stream that cannot be taken back stays in the file, referenced by nothing.
  if (w.contentStreams().size() != 1 || !w.DiscardContentStream()) w.EndContentStream();
  w.ClearContentStreams();
  int& number = d.pages[static_cast<size_t>(d.pageCount - 1)];
  if (w.ReturnObjectNumber(number)) number = -1;
  d.pageCount -= 1;
  d.inPage = false;
}

int AddOutlineEntry(Writer& w, DocumentData& d, const std::string& title) {
  if (d.outlineRoot == 0) {
    d.outlines.reserve(256);
    d.outlineRoot = w.NewObjectNumber();
    if (d.viewer.pageMode == 0) d.viewer.pageMode = 2;
  }
  OutlineEntry e;
  e.title = title;
  e.pageIndex = d.pageCount;
  e.objectNumber = w.NewObjectNumber();
  if (!d.outlines.empty()) {
    e.prevObject = d.outlines.back().objectNumber;
    d.outlines.back().nextObject = e.objectNumber;
  }
  d.outlines.push_back(std::move(e));
  return static_cast<int>(d.outlines.size());
}

namespace {

// Builds the node over pages [first, first + n) (first from 0). parentRef is the parent's
// number as written in the file (an appended subtree hangs under an existing node, which
// may have another generation), 0 for none.
void WriteParent(Writer& w, int parentRef, int parentGeneration) {
  if (parentGeneration == 0)
    w.WriteFormatted(names::kParent, {parentRef});
  else
    w.WriteFormatted("/Parent %ld %d R ", {parentRef, parentGeneration});
}

int WriteTreeNode(Writer& w, DocumentData& d, int first, int n, int parentRef,
                  int parentGeneration = 0) {
  if (n <= 10) {
    size_t leafIndex = static_cast<size_t>(first / 10);
    while (d.leaves.size() <= leafIndex) d.leaves.push_back(w.NewObjectNumber());
    int leaf = d.leaves[leafIndex];
    w.BeginObject(leaf);
    w.WriteText(names::kDictOpen);
    w.WriteText(names::kPagesType);
    w.WriteFormatted(names::kCount, {n});
    if (parentRef) WriteParent(w, parentRef, parentGeneration);
    w.WriteText(names::kKidsOpen);
    for (int k = 0; k < n; ++k) w.WriteRef(PageObjectNumber(w, d, first + k + 1));
    w.WriteText(names::kArrayClose);
    w.WriteText(names::kDictClose);
    w.WriteText(names::kEndObj);
    return leaf;
  }
  int node = w.NewObjectNumber();
  long long span = 10;
  while (span * 10 < n) span *= 10;
  int step = static_cast<int>(span);
  std::vector<int> kids;
  for (int start = 0; start < n; start += step) {
    int count = n - start < step ? n - start : step;
    kids.push_back(WriteTreeNode(w, d, first + start, count, w.Ref(node)));
  }
  w.BeginObject(node);
  w.WriteText(names::kDictOpen);
  w.WriteText(names::kPagesType);
  w.WriteFormatted(names::kCount, {n});
  if (parentRef) WriteParent(w, parentRef, parentGeneration);
  w.WriteText(names::kKidsOpen);
  for (int k : kids) w.WriteRef(k);
  w.WriteText(names::kArrayClose);
  w.WriteText(names::kDictClose);
  w.WriteText(names::kEndObj);
  return node;
}

// Info values feed the identifier of an unencrypted file.
void AddToDigest(DocumentData& d, const std::string& s) {
  d.idDigest.Update(s.data(), s.size());
  d.idDigest.Update("", 1);
}

}  // namespace

int WritePageTree(Writer& w, DocumentData& d, int parent) {
  return WriteTreeNode(w, d, 0, d.pageCount, parent ? w.Ref(parent) : 0);
}

namespace {

// A text string of object (absNumber, generation) as written in the file: literal, or
// encrypted and hexadecimal with security on.
void WriteTextString(Writer& w, int absNumber, int generation, const std::string& s) {
  if (!w.encryptor) {
    w.WriteLiteralString(s.data(), s.size());
    w.WriteChar(' ');
    return;
  }
  std::vector<uint8_t> copy(s.begin(), s.end());
  w.encryptor->SelectObjectKey(absNumber, generation);
  w.encryptor->EncryptBytes(copy.data(), copy.size());
  w.WriteChar('<');
  w.WriteHex(copy.data(), copy.size());
  w.WriteText("> ");
}

// The Info dictionary after its object header.
void WriteInfoBody(Writer& w, DocumentData& d, int absNumber, int generation) {
  w.WriteText(names::kDictOpen);
  for (int i = 0; i < 5; ++i) {
    const std::string& t = d.info.texts[i];
    if (t.empty()) continue;
    w.WriteText(names::kInfoKeys[i]);
    WriteTextString(w, absNumber, generation, t);
    AddToDigest(d, t);
  }
  for (auto it = d.info.custom.rbegin(); it != d.info.custom.rend(); ++it) {
    w.WriteChar('/');
    w.WriteName(it->key.c_str());
    w.WriteChar(' ');
    if (it->key == names::kTrappedKey) {
      w.WriteChar('/');
      w.WriteName(it->value.c_str());
    } else if (w.encryptor) {
      WriteTextString(w, absNumber, generation, it->value);
    } else {
      w.WriteLiteralString(it->value.data(), it->value.size());
    }
    w.WriteChar('\r');
  }
  std::string producer = d.info.producer.empty() ? names::kDefaultProducer : d.info.producer;
  w.WriteText(names::kProducerKey);
  WriteTextString(w, absNumber, generation, producer);
  AddToDigest(d, producer);

  std::string now = PdfDate(Now());
  w.WriteText(names::kCreationDateKey);
  WriteTextString(w, absNumber, generation,
                  d.info.creationDate.empty() ? now : d.info.creationDate);
  w.WriteText(names::kModDateKey);
  WriteTextString(w, absNumber, generation, now);
  w.WriteText(names::kDictClose);
  w.WriteText(names::kEndObj);
}

}  // namespace

void WriteInfoString(Writer& w, int objectNumber, const std::string& s) {
  WriteTextString(w, w.Ref(objectNumber), 0, s);
}

void WriteInfo(Writer& w, DocumentData& d) {
  if (d.infoNumber == 0) d.infoNumber = w.NewObjectNumber();
  w.BeginObject(d.infoNumber);
  WriteInfoBody(w, d, w.Ref(d.infoNumber), 0);
}

void WriteCatalog(Writer& w, DocumentData& d, int pagesRoot) {
  if (d.catalogNumber == 0) d.catalogNumber = w.NewObjectNumber();
  w.BeginObject(d.catalogNumber);
  w.WriteText(names::kDictOpen);
  w.WriteText(names::kCatalogType);
  const ViewerSettings& v = d.viewer;
  // A document without pages has nothing to open at.
  if ((v.openActionKind != 0 || v.startPage >= 2) && d.pageCount > 0) {
    int start = v.startPage < 1 ? 1 : (v.startPage > d.pageCount ? d.pageCount : v.startPage);
    int kind = v.openActionKind >= 1 && v.openActionKind <= 4 ? v.openActionKind : 1;
    w.WriteFormatted(names::kOpenAction,
                     {w.Ref(PageObjectNumber(w, d, start)), names::kDestinations[kind - 1]});
  }
  if (v.pageMode >= 1 && v.pageMode <= 4)
    w.WriteFormatted(names::kPageMode, {names::kPageModes[v.pageMode - 1]});
  if (v.viewerFlags != 0) {
    w.WriteText(names::kViewerPrefsOpen);
    for (const auto& f : names::kViewerFlags)
      if (v.viewerFlags & f.bit) w.WriteText(f.entry);
    w.WriteText(names::kDictClose);
  }
  w.WriteFormatted(names::kPagesRef, {w.Ref(pagesRoot)});
  if (d.outlineRoot) w.WriteFormatted(names::kOutlinesRef, {w.Ref(d.outlineRoot)});
  w.WriteText(names::kDictClose);
  w.WriteText(names::kEndObj);
}

void WriteOutlines(Writer& w, DocumentData& d) {
  if (d.outlineRoot == 0) return;
  w.BeginObject(d.outlineRoot);
  w.WriteText(names::kDictOpen);
  if (!d.outlines.empty()) {
    w.WriteFormatted(names::kCount, {static_cast<long long>(d.outlines.size())});
    w.WriteFormatted(names::kFirst, {w.Ref(d.outlines.front().objectNumber)});
    w.WriteFormatted(names::kLast, {w.Ref(d.outlines.back().objectNumber)});
  }
  w.WriteText(names::kDictClose);
  w.WriteText(names::kEndObj);
  for (const OutlineEntry& e : d.outlines) {
    w.BeginObject(e.objectNumber);
    w.WriteText(names::kDictOpen);
    w.WriteFormatted(names::kParent, {w.Ref(d.outlineRoot)});
    w.WriteFormatted(names::kDest, {w.Ref(PageObjectNumber(w, d, e.pageIndex))});
    w.WriteText(names::kTitleKey);
    if (w.encryptor) {
      std::string copy = e.title;
      w.encryptor->SelectObjectKey(w.Ref(e.objectNumber), 0);
      w.encryptor->EncryptBytes(reinterpret_cast<uint8_t*>(copy.data()), copy.size());
      w.WriteLiteralString(copy.data(), copy.size());
    } else {
      w.WriteLiteralString(e.title.data(), e.title.size());
    }
    w.WriteChar(' ');
    if (e.prevObject) w.WriteFormatted(names::kPrev, {w.Ref(e.prevObject)});
    if (e.nextObject) w.WriteFormatted(names::kNext, {w.Ref(e.nextObject)});
    w.WriteText(names::kDictClose);
    w.WriteText(names::kEndObj);
  }
}

void WriteEmptyObjects(Writer& w) {
  for (int n = 1; n <= w.objectCount(); ++n) {
    if (w.offsetOf(n) >= 0) continue;
    w.BeginObject(n);
    w.WriteText(names::kEndObj);
  }
}

namespace {

void ComputeFileId(DocumentData& d, int64_t xrefOffset, const std::string& path,
                   uint8_t id[16]) {
  if (const uint8_t* fixed = FileIdForTesting()) {
    std::copy(fixed, fixed + 16, id);
    return;
  }
  uint8_t x[4];
  for (int i = 0; i < 4; ++i) x[i] = static_cast<uint8_t>(xrefOffset >> (8 * i));
  d.idDigest.Update(x, 4);
  // What makes this run unique: the moment, the process, the record's address, chance.
  struct {
    long long nanos;
    long pid;
    const void* record;
    unsigned random;
  } unique{std::chrono::high_resolution_clock::now().time_since_epoch().count(),
           static_cast<long>(getpid()), &d, std::random_device{}()};
  d.idDigest.Update(&unique, sizeof unique);
  if (path != "-") d.idDigest.Update(path.data(), path.size());
  d.idDigest.Final(id);
}

}  // namespace

namespace {

// "/ID [<id> <id>] ": both halves the same identifier.
void WriteIdPair(Writer& w, const uint8_t id[16]) {
  w.WriteText("/ID [<");
  w.WriteHex(id, 16);
  w.WriteText("> <");
  w.WriteHex(id, 16);
  w.WriteText(">] ");
}

// Closes the trailer dictionary and ends the file.
void WriteTrailerEnd(Writer& w, int64_t xref) {
  w.WriteText(names::kDictClose);
  w.WriteText(names::kStartXref);
  w.WriteFormatted(names::kStartXrefValue, {xref});
  w.WriteText(names::kEof);
  w.Flush();
}

}  // namespace

void FinishNewFile(Writer& w, DocumentData& d, const CloseHooks& hooks) {
  WriteInfo(w, d);
  if (hooks.fontObjects) hooks.fontObjects();
  int root = WritePageTree(w, d, 0);
  WriteCatalog(w, d, root);
  WriteOutlines(w, d);
  WriteEmptyObjects(w);
  int encrypt = hooks.encryptionDictionary ? hooks.encryptionDictionary() : 0;

  w.WriteChar('\r');
  int64_t xref = w.CurrentOffset();
  w.WriteText(names::kXref);
  w.WriteFormatted(names::kXrefSubsection, {w.objectCount() + 1});
  w.WriteText(names::kXrefFree);
  for (int n = 1; n <= w.objectCount(); ++n) w.WriteFormatted(names::kXrefEntry, {w.offsetOf(n)});

  uint8_t id[16];
  if (hooks.securityFileId)
    std::copy(hooks.securityFileId, hooks.securityFileId + 16, id);
  else
    ComputeFileId(d, xref, hooks.outputPath, id);

  w.WriteText(names::kTrailer);
  w.WriteText(names::kDictOpen);
  w.WriteFormatted(names::kSize, {w.objectCount() + 1});
  w.WriteFormatted(names::kRoot, {w.Ref(d.catalogNumber)});
  w.WriteFormatted(names::kInfo, {w.Ref(d.infoNumber)});
  if (encrypt) w.WriteFormatted(names::kEncrypt, {w.Ref(encrypt)});
  WriteIdPair(w, id);
  WriteTrailerEnd(w, xref);
}

namespace {

struct Edit {
  size_t begin, end;
  std::string text;
};

// Applies non-overlapping edits to text, last first so earlier positions stay valid.
std::string ApplyEdits(std::string text, std::vector<Edit> edits) {
  std::sort(edits.begin(), edits.end(),
            [](const Edit& a, const Edit& b) { return a.begin > b.begin; });
  for (const Edit& e : edits) {
    if (e.begin > text.size() || e.end > text.size() || e.end < e.begin) continue;
    text.replace(e.begin, e.end - e.begin, e.text);
  }
  return text;
}

// Replaces the entry at span, or adds it where the dictionary closes.
void ReplaceOrAdd(std::vector<Edit>& edits, std::string& added, const TextSpan& span,
                  std::string entry) {
  if (span.found)
    edits.push_back({span.begin, span.end, std::move(entry)});
  else
    added += entry;
}

struct Rewritten {
  int number, generation;
  int64_t offset;
};

Rewritten WriteExisting(Writer& w, int number, int generation, const std::string& text) {
  Rewritten r{number, generation, w.CurrentOffset()};
  w.WriteText(text);
  w.WriteChar('\r');
  return r;
}

}  // namespace

void FinishAppendUpdate(Writer& w, DocumentData& d, const CloseHooks& hooks,
                        const AppendTarget& t) {
  if (hooks.fontObjects) hooks.fontObjects();
  int subtree =
      d.pageCount > 0 ? WriteTreeNode(w, d, 0, d.pageCount, t.pages.number, t.pages.generation)
                      : 0;
  std::vector<Rewritten> rewritten;

  const ViewerSettings& v = d.viewer;
  if (v.pageMode != 0 || v.openActionKind != 0 || v.startPage > 1 || v.viewerFlags != 0) {
    std::vector<Edit> edits;
    std::string added;
    int total = t.pageCount + d.pageCount;
    if ((v.openActionKind != 0 || v.startPage >= 2) && total > 0) {
      int start = v.startPage < 1 ? 1 : (v.startPage > total ? total : v.startPage);
      bool old = start <= t.pageCount;
      size_t k = static_cast<size_t>(start - 1);
      int ref = old ? t.pageObjects[k] : w.Ref(PageObjectNumber(w, d, start - t.pageCount));
      int gen = old && k < t.pageGenerations.size() ? t.pageGenerations[k] : 0;
      int kind = v.openActionKind >= 1 && v.openActionKind <= 4 ? v.openActionKind : 1;
      ReplaceOrAdd(edits, added, t.openAction,
                   FormatString("/OpenAction [%ld %d R %s] ",
                                {ref, gen, names::kDestinations[kind - 1]}));
    }
    if (v.pageMode >= 1 && v.pageMode <= 4)
      ReplaceOrAdd(edits, added, t.pageMode,
                   FormatString(names::kPageMode, {names::kPageModes[v.pageMode - 1]}));
    if (v.viewerFlags != 0) {
      std::string prefs = names::kViewerPrefsOpen;
      for (const auto& f : names::kViewerFlags)
        if (v.viewerFlags & f.bit) prefs += f.entry;
      prefs += names::kDictClose;
      ReplaceOrAdd(edits, added, t.viewerPreferences, prefs);
    }
    if (!added.empty()) edits.push_back({t.catalogDictEnd, t.catalogDictEnd, " " + added});
    rewritten.push_back(WriteExisting(w, t.catalog.number, t.catalog.generation,
                                      ApplyEdits(t.catalog.text, std::move(edits))));
  }

  int infoRef, infoGeneration = 0;
  if (t.infoNumber == 0) {
    d.infoNumber = 0;
    WriteInfo(w, d);
    infoRef = w.Ref(d.infoNumber);
  } else {
    infoGeneration = t.infoGeneration;
    rewritten.push_back({t.infoNumber, t.infoGeneration, w.CurrentOffset()});
    w.WriteFormatted("%ld %d obj\r", {t.infoNumber, t.infoGeneration});
    WriteInfoBody(w, d, t.infoNumber, t.infoGeneration);
    w.WriteChar('\r');
    infoRef = t.infoNumber;
  }

  std::string kidRef = subtree ? " " + FormatString(names::kRef, {w.Ref(subtree)}) : "";
  std::vector<Edit> pageEdits;
  pageEdits.push_back(
      {t.countValue.begin, t.countValue.end,
       FormatString(" %ld ", {static_cast<long long>(t.rootCount) + d.pageCount})});
  if (t.kidsArray.number == 0 && subtree)
    pageEdits.push_back({t.kidsInsert, t.kidsInsert, kidRef});
  rewritten.push_back(WriteExisting(w, t.pages.number, t.pages.generation,
                                    ApplyEdits(t.pages.text, std::move(pageEdits))));
  if (t.kidsArray.number != 0 && subtree)
    rewritten.push_back(
        WriteExisting(w, t.kidsArray.number, t.kidsArray.generation,
                      ApplyEdits(t.kidsArray.text, {{t.kidsInsert, t.kidsInsert, kidRef}})));

  WriteEmptyObjects(w);
  w.WriteChar('\r');
  int64_t xref = w.CurrentOffset();
  w.WriteText(names::kXref);
  w.WriteFormatted(names::kXrefSubsection, {1});
  w.WriteText(names::kXrefFree);
  for (const Rewritten& r : rewritten) {
    w.WriteFormatted("%ld 1\r", {r.number});
    w.WriteFormatted("%010ld %05d n\r\n", {r.offset, r.generation});
  }
  if (w.objectCount() > 0) {
    w.WriteFormatted("%ld %ld\r", {w.baseNumber() + 1, w.objectCount()});
    for (int n = 1; n <= w.objectCount(); ++n)
      w.WriteFormatted(names::kXrefEntry, {w.offsetOf(n)});
  }

  uint8_t id[16];
  ComputeFileId(d, xref, hooks.outputPath, id);
  w.WriteText(names::kTrailer);
  w.WriteText(names::kDictOpen);
  w.WriteFormatted(names::kSize, {w.baseNumber() + w.objectCount() + 1});
  // References to existing objects keep their generations.
  w.WriteFormatted("/Info %ld %d R ", {infoRef, infoGeneration});
  w.WriteFormatted("/Root %ld %d R ", {t.rootNumber, t.catalog.generation});
  if (t.previousXref) w.WriteFormatted("/Prev %ld ", {t.previousXref});
  if (t.encryptNumber)
    w.WriteFormatted("/Encrypt %ld %d R ", {t.encryptNumber, t.encryptGeneration});
  if (t.hasId) {
    // The first string stays as the file had it: an encrypted file's key depends on it.
    w.WriteText(t.firstIdHex ? "/ID [<" : "/ID [(");
    w.WriteText(t.firstIdRaw);
    w.WriteText(t.firstIdHex ? "> <" : ") <");
    w.WriteHex(id, 16);
    w.WriteText(">] ");
  } else if (t.encryptNumber == 0) {
    WriteIdPair(w, id);
  }
  // An encrypted file without an identifier keeps none, or its key would change.
  WriteTrailerEnd(w, xref);
}

}  // namespace pdf
