// The document outline: entries collected page by page, written when the file is closed.
#include "assembly.h"

#include "names.h"

namespace pdf {

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

} // namespace pdf
