// The engine's constant name table: key names, operator formats, header forms and the other
// fixed words of the files it writes. Every byte form that several writers share lives here.
#pragma once

namespace pdf::names {

// File structure.
inline constexpr char kHeader[] = "%PDF-1.4 ";
// A comment line of bytes above 127 marks the file as binary; it also tells our own files
// apart when a PDF 1.5 header is met while appending.
inline constexpr char kHeaderMarker[] = "%\xF0\xE9\xE3\xF4\r";
inline constexpr int kHeaderMarkerLength = 6;
inline constexpr char kObjectHeader[] = "%ld 0 obj\r";
inline constexpr char kEndObj[] = "endobj ";
inline constexpr char kDictOpen[] = " <<";
inline constexpr char kDictClose[] = ">> ";
// The stream keyword is followed by CR LF: a lone CR would let readers swallow a data byte.
inline constexpr char kStreamOpen[] = " stream\r\n";
inline constexpr char kStreamClose[] = "\rendstream ";
inline constexpr char kRef[] = "%ld 0 R ";
inline constexpr char kLengthEntry[] = "/Length %ld 0 R ";
inline constexpr char kContentLengthLine[] = "%ld\r";
inline constexpr char kImageLengthLine[] = "%ld ";
inline constexpr char kFlateFilter[] = "/Filter /FlateDecode ";

// Pages.
inline constexpr char kPageType[] = "/Type /Page ";
inline constexpr char kParent[] = "/Parent %ld 0 R ";
inline constexpr char kMediaBox[] = "/MediaBox [0 0 %f %f] ";
inline constexpr char kRotate[] = "/Rotate %d ";
inline constexpr char kContentsOpen[] = "/Contents [";
inline constexpr char kArrayClose[] = "] ";
inline constexpr char kResources[] = "/Resources %ld 0 R ";
inline constexpr char kProcSetOpen[] = "/ProcSet [/PDF /Text ";
inline constexpr char kProcImageB[] = "/ImageB ";
inline constexpr char kProcImageC[] = "/ImageC ";
inline constexpr char kProcImageI[] = "/ImageI ";
inline constexpr char kPagesType[] = "/Type /Pages ";
inline constexpr char kCount[] = "/Count %ld ";
inline constexpr char kKidsOpen[] = "/Kids [";

// Catalog and viewer settings.
inline constexpr char kCatalogType[] = "/Type /Catalog ";
inline constexpr char kPagesRef[] = "/Pages %ld 0 R ";
inline constexpr char kOutlinesRef[] = "/Outlines %ld 0 R ";
inline constexpr char kOpenAction[] = "/OpenAction [%ld 0 R %s] ";
// Destination forms of the open-action kinds 1..4.
inline constexpr const char* kDestinations[] = {"/Fit", "/FitH null", "/FitV null", "/FitB"};
inline constexpr const char* kPageModes[] = {"/UseNone", "/UseOutlines", "/UseThumbs",
                                             "/FullScreen"};
inline constexpr char kPageMode[] = "/PageMode %s ";
inline constexpr char kViewerPrefsOpen[] = "/ViewerPreferences <<";
struct ViewerFlag {
  int bit;
  const char* entry;
};
inline constexpr ViewerFlag kViewerFlags[] = {
    {0x1000, "/HideToolbar true "},   {0x2000, "/HideMenubar true "},
    {0x4000, "/HideWindowUI true "},  {0x8000, "/FitWindow true "},
    {0x10000, "/CenterWindow true "}, {0x20000, "/DisplayDocTitle true "},
};

// Information dictionary.
inline constexpr const char* kInfoKeys[] = {"/Title ", "/Subject ", "/Author ", "/Keywords ",
                                            "/Creator "};
inline constexpr char kProducerKey[] = "/Producer ";
inline constexpr char kDefaultProducer[] = "Pictofold PDF engine 1.0"; // 24 characters
inline constexpr char kCreationDateKey[] = "/CreationDate ";
inline constexpr char kModDateKey[] = "/ModDate ";
inline constexpr char kTrappedKey[] = "Trapped";

// Cross-reference section and trailer.
inline constexpr char kXref[] = "xref\r";
inline constexpr char kXrefSubsection[] = "0 %ld\r";
// Entries are 20 bytes and end in CR LF, a two-byte end of line every reader accepts.
inline constexpr char kXrefFree[] = "0000000000 65535 f\r\n";
inline constexpr char kXrefEntry[] = "%010ld 00000 n\r\n";
inline constexpr char kTrailer[] = "trailer\r";
inline constexpr char kSize[] = "/Size %ld ";
inline constexpr char kRoot[] = "/Root %ld 0 R ";
inline constexpr char kInfo[] = "/Info %ld 0 R ";
inline constexpr char kEncrypt[] = "/Encrypt %ld 0 R ";
inline constexpr char kStartXref[] = "\rstartxref";
inline constexpr char kStartXrefValue[] = "\r%ld\r";
inline constexpr char kEof[] = "%%EOF\r\n";

// Outlines.
inline constexpr char kFirst[] = "/First %ld 0 R ";
inline constexpr char kLast[] = "/Last %ld 0 R ";
inline constexpr char kPrev[] = "/Prev %ld 0 R ";
inline constexpr char kNext[] = "/Next %ld 0 R ";
inline constexpr char kDest[] = "/Dest [%ld 0 R /Fit] ";
inline constexpr char kTitleKey[] = "/Title ";

} // namespace pdf::names
