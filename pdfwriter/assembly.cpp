#include "assembly.h"

#include <unistd.h>

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

// Builds the node over pages [first, first + n) (first from 0).
int WriteTreeNode(Writer& w, DocumentData& d, int first, int n, int parent) {
  if (n <= 10) {
    size_t leafIndex = static_cast<size_t>(first / 10);
    while (d.leaves.size() <= leafIndex) d.leaves.push_back(w.NewObjectNumber());
    int leaf = d.leaves[leafIndex];
    w.BeginObject(leaf);
    w.WriteText(names::kDictOpen);
    w.WriteText(names::kPagesType);
    w.WriteFormatted(names::kCount, {n});
    if (parent) w.WriteFormatted(names::kParent, {w.Ref(parent)});
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
    kids.push_back(WriteTreeNode(w, d, first + start, count, node));
  }
  w.BeginObject(node);
  w.WriteText(names::kDictOpen);
  w.WriteText(names::kPagesType);
  w.WriteFormatted(names::kCount, {n});
  if (parent) w.WriteFormatted(names::kParent, {w.Ref(parent)});
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
  return WriteTreeNode(w, d, 0, d.pageCount, parent);
}

void WriteInfoString(Writer& w, int objectNumber, const std::string& s) {
  if (!w.encryptor) {
    w.WriteLiteralString(s.data(), s.size());
    w.WriteChar(' ');
    return;
  }
  std::vector<uint8_t> copy(s.begin(), s.end());
  w.encryptor->SelectObjectKey(w.Ref(objectNumber), 0);
  w.encryptor->EncryptBytes(copy.data(), copy.size());
  w.WriteChar('<');
  w.WriteHex(copy.data(), copy.size());
  w.WriteText("> ");
}

void WriteInfo(Writer& w, DocumentData& d) {
  if (d.infoNumber == 0) d.infoNumber = w.NewObjectNumber();
  w.BeginObject(d.infoNumber);
  w.WriteText(names::kDictOpen);
  for (int i = 0; i < 5; ++i) {
    const std::string& t = d.info.texts[i];
    if (t.empty()) continue;
    w.WriteText(names::kInfoKeys[i]);
    WriteInfoString(w, d.infoNumber, t);
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
      WriteInfoString(w, d.infoNumber, it->value);
    } else {
      w.WriteLiteralString(it->value.data(), it->value.size());
    }
    w.WriteChar('\r');
  }
  std::string producer = d.info.producer.empty() ? names::kDefaultProducer : d.info.producer;
  w.WriteText(names::kProducerKey);
  WriteInfoString(w, d.infoNumber, producer);
  AddToDigest(d, producer);

  std::string now = PdfDate(Now());
  w.WriteText(names::kCreationDateKey);
  WriteInfoString(w, d.infoNumber, d.info.creationDate.empty() ? now : d.info.creationDate);
  w.WriteText(names::kModDateKey);
  WriteInfoString(w, d.infoNumber, now);
  w.WriteText(names::kDictClose);
  w.WriteText(names::kEndObj);
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
  w.WriteText("/ID [<");
  w.WriteHex(id, 16);
  w.WriteText("> <");
  w.WriteHex(id, 16);
  w.WriteText(">] ");
  w.WriteText(names::kDictClose);
  w.WriteText(names::kStartXref);
  w.WriteFormatted(names::kStartXrefValue, {xref});
  w.WriteText(names::kEof);
  w.Flush();
}

}  // namespace pdf
