// The end of a new file: the remaining objects, the cross-reference table and the trailer.
#include <algorithm>

#include "assembly_internal.h"
#include "names.h"

namespace pdf {

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
  for (int n = 1; n <= w.objectCount(); ++n)
    w.WriteFormatted(names::kXrefEntry, {w.offsetOf(n)});

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

} // namespace pdf
