// Font objects of installed, configured and CJK fonts, written at document close.
#pragma once

#include "fonts.h"
#include "pdfwriter/writer.h"

namespace text {

// Shared with the Type 1 writers: the /Encoding entry (returns the object number of an
// encoding dictionary still to write, or 0) and that dictionary.
int WriteEncodingEntry(pdf::Writer& w, const FontRecord& f);
void WriteEncodingDictionary(pdf::Writer& w, int number, const Encoding* e);

// Kinds 1 and 2 in the form their embed flag and character set choose.
void WriteSfntFont(pdf::Writer& w, int index, FontRecord& f);
// Kind 6: a composite font over a predefined CMap, without a font program.
void WriteCmapFont(pdf::Writer& w, const FontRecord& f);
// The outline file of an embedded Type 1 font as a stream object with the byte counts of
// its three parts; a file in segments (first byte 128) is read segment by segment.
bool WriteType1FontFile(pdf::Writer& w, int number, const std::vector<uint8_t>& file);

// The font program subset to the glyphs of the characters (HarfBuzz); empty on failure.
std::vector<uint8_t> SubsetProgram(const std::vector<uint8_t>& program,
                                   const std::vector<uint32_t>& unicodes,
                                   const std::vector<uint32_t>& glyphs);

} // namespace text
