// The end of an appended file: an incremental update over the existing one.
#include <algorithm>
#include <vector>

#include "assembly_internal.h"
#include "names.h"

namespace pdf {

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

} // namespace

void FinishAppendUpdate(Writer& w, DocumentData& d, const CloseHooks& hooks,
                        const AppendTarget& t) {
  if (hooks.fontObjects) hooks.fontObjects();
  int subtree =
      d.pageCount > 0 ? WriteTreeNode(w, d, 0, d.pageCount, t.pages.number, t.pages.generation) : 0;
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
      ReplaceOrAdd(
          edits, added, t.openAction,
          FormatString("/OpenAction [%ld %d R %s] ", {ref, gen, names::kDestinations[kind - 1]}));
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
  pageEdits.push_back({t.countValue.begin, t.countValue.end,
                       FormatString(" %ld ", {static_cast<long long>(t.rootCount) + d.pageCount})});
  if (t.kidsArray.number == 0 && subtree) pageEdits.push_back({t.kidsInsert, t.kidsInsert, kidRef});
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

} // namespace pdf
