// Fixed words of image XObject dictionaries and their drawing operators.
#pragma once

namespace images::names {

inline constexpr char kWidth[] = "/Width %ld ";
inline constexpr char kHeight[] = "/Height %ld ";
inline constexpr char kBitsPerComponent[] = "/BitsPerComponent %ld ";
inline constexpr char kImageType[] = "/Type /XObject /Subtype /Image ";
inline constexpr char kColorSpace[] = "/ColorSpace ";
inline constexpr const char* kDeviceSpaces[] = {"/DeviceGray ", "/DeviceRGB ", "/DeviceCMYK "};
inline constexpr char kIndexed[] = "/ColorSpace [/Indexed /DeviceRGB %ld %ld 0 R] ";
inline constexpr char kIccBased[] = "/ColorSpace [/ICCBased %ld 0 R] ";
inline constexpr char kIccComponents[] = "/N %ld ";
inline constexpr char kIccAlternate[] = "/Alternate ";
inline constexpr char kFilter[] = "/Filter ";
inline constexpr char kDctFilter[] = "/DCTDecode ";
inline constexpr char kLzwFilter[] = "/LZWDecode ";
inline constexpr char kRunLengthFilter[] = "/RunLengthDecode ";
inline constexpr char kFaxFilter[] = "/CCITTFaxDecode ";
inline constexpr char kFlateFilter[] = "/FlateDecode ";
inline constexpr char kDecodeParmsOpen[] = "/DecodeParms <<";
inline constexpr char kEmptyDecodeParms[] = "/DecodeParms << >> ";
inline constexpr char kDecodeOpen[] = "/Decode [";
inline constexpr char kDecodePair[] = "1 0 ";
inline constexpr char kPredictor[] = "/Predictor %ld ";
inline constexpr char kColumns[] = "/Columns %ld ";
inline constexpr char kRows[] = "/Rows %ld ";
inline constexpr char kColors[] = "/Colors %ld ";
inline constexpr char kDecodeBits[] = "/BitsPerComponent %ld ";

// Extra CCITT decode parameters.
inline constexpr char kFaxModifiedHuffman[] = "/K 0 /EncodedByteAlign true ";
inline constexpr char kFaxTwoDimensional[] = "/K 4 ";
inline constexpr char kFaxGroup4[] = "/K -1 ";
inline constexpr char kFaxBlackIs1[] = "/BlackIs1 true ";
inline constexpr int kFaxDefaultColumns = 1728;

// Resource names and drawing.
inline constexpr char kXObjectOpen[] = "/XObject <<";
inline constexpr char kXObjectEntry[] = "/I%s%d %ld 0 R ";
inline constexpr char kDoImage[] = "/I%s%d Do ";
inline constexpr char kNameInfix[] = "";

} // namespace images::names
