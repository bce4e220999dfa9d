// Steps of the file assembly shared by the new-file and the incremental-update endings.
#pragma once

#include <cstdint>
#include <string>

#include "assembly.h"

namespace pdf {

// Builds the node over pages [first, first + n) (first from 0). parentRef is the parent's
// number as written in the file (an appended subtree hangs under an existing node, which
// may have another generation), 0 for none.
int WriteTreeNode(Writer& w, DocumentData& d, int first, int n, int parentRef,
                  int parentGeneration = 0);

// The Info dictionary after its object header.
void WriteInfoBody(Writer& w, DocumentData& d, int absNumber, int generation);

// The file identifier: digest of the Info values, the cross-reference offset and what makes
// this run unique.
void ComputeFileId(DocumentData& d, int64_t xrefOffset, const std::string& path, uint8_t id[16]);

// "/ID [<id> <id>] ": both halves the same identifier.
void WriteIdPair(Writer& w, const uint8_t id[16]);

// Closes the trailer dictionary and ends the file.
void WriteTrailerEnd(Writer& w, int64_t xref);

} // namespace pdf
