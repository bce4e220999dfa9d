// Pages, the page tree, the Info dictionary and the catalog.
#include "assembly.h"

#include <vector>

#include "assembly_internal.h"
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
    while (cap < static_cast<size_t>(index))
      cap *= 2;
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
  while (d.leaves.size() <= leaf)
    d.leaves.push_back(w.NewObjectNumber());

  w.BeginObject(PageObjectNumber(w, d, index));
  w.WriteText(names::kDictOpen);
  w.WriteFormatted(names::kParent, {w.Ref(d.leaves[leaf])});
  w.WriteFormatted(names::kMediaBox, {d.pageWidth, d.pageHeight});
  w.WriteText(names::kPageType);
  if (d.rotation == 90 || d.rotation == 180 || d.rotation == 270)
    w.WriteFormatted(names::kRotate, {d.rotation});
  w.WriteText(names::kContentsOpen);
  for (int n : w.contentStreams())
    w.WriteRef(n);
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

namespace {

// The /Parent entry of a page-tree node.
void WriteParent(Writer& w, int parentRef, int parentGeneration) {
  if (parentGeneration == 0)
    w.WriteFormatted(names::kParent, {parentRef});
  else
    w.WriteFormatted("/Parent %ld %d R ", {parentRef, parentGeneration});
}

// Info values feed the identifier of an unencrypted file.
void AddToDigest(DocumentData& d, const std::string& s) {
  d.idDigest.Update(s.data(), s.size());
  d.idDigest.Update("", 1);
}

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

} // namespace

int WriteTreeNode(Writer& w, DocumentData& d, int first, int n, int parentRef,
                  int parentGeneration) {
  if (n <= 10) {
    size_t leafIndex = static_cast<size_t>(first / 10);
    while (d.leaves.size() <= leafIndex)
      d.leaves.push_back(w.NewObjectNumber());
    int leaf = d.leaves[leafIndex];
    w.BeginObject(leaf);
    w.WriteText(names::kDictOpen);
    w.WriteText(names::kPagesType);
    w.WriteFormatted(names::kCount, {n});
    if (parentRef) WriteParent(w, parentRef, parentGeneration);
    w.WriteText(names::kKidsOpen);
    for (int k = 0; k < n; ++k)
      w.WriteRef(PageObjectNumber(w, d, first + k + 1));
    w.WriteText(names::kArrayClose);
    w.WriteText(names::kDictClose);
    w.WriteText(names::kEndObj);
    return leaf;
  }
  int node = w.NewObjectNumber();
  long long span = 10;
  while (span * 10 < n)
    span *= 10;
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
  for (int k : kids)
    w.WriteRef(k);
  w.WriteText(names::kArrayClose);
  w.WriteText(names::kDictClose);
  w.WriteText(names::kEndObj);
  return node;
}

int WritePageTree(Writer& w, DocumentData& d, int parent) {
  return WriteTreeNode(w, d, 0, d.pageCount, parent ? w.Ref(parent) : 0);
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

void WriteEmptyObjects(Writer& w) {
  for (int n = 1; n <= w.objectCount(); ++n) {
    if (w.offsetOf(n) >= 0) continue;
    w.BeginObject(n);
    w.WriteText(names::kEndObj);
  }
}

} // namespace pdf
