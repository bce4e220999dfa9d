/* Pictofold PDF engine: documents addressed by integer handles.
 *
 * Results are integers: 1 success, 0 failure, -1 for the few refusals that say so.
 * Strings are NUL-terminated single-byte text (Windows-1252), or UTF-16BE text that begins
 * with the byte-order mark FE FF and ends at a pair of NUL bytes. Lengths and positions are
 * integer PDF points with the origin at the top-left corner of the page. Colours are
 * 0x00BBGGRR. The engine is not safe for concurrent calls. */
#ifndef PICTOFOLD_ENGINE_H
#define PICTOFOLD_ENGINE_H

#ifdef __cplusplus
extern "C" {
#endif

/* Opens a new PDF file for writing ("-" is standard output). Returns a handle 1..1023, or 0. */
int EngineCreate(const char* path);

/* Opens an existing PDF file (PDF 1.2 to 1.4, or our own 1.5) to add pages to it as an
 * incremental update written by EngineClose. The existing bytes are never changed; when the
 * update cannot be completed the file is cut back to its old length. Returns a handle, or 0
 * when the file cannot be read or is of a kind that cannot be extended (cross-reference
 * streams, object streams, encryption other than RC4, passwords needed). */
int EngineOpenAppend(const char* path);

/* Changes a setting or performs a page step; 1 accepted, 0 refused. */
int EngineSetOption(int handle, int key, int intA, int intB, const char* textA,
                    const char* textB);

/* Reads a setting or asks about an input file. outA and outB are written only when their
 * value is above 1000, so small integers may stand in their place (key 210 reads outA as an
 * integer). textA is an output buffer for key 210. */
int EngineQuery(int handle, int key, int* outA, int* outB, char* textA, const char* textB);

/* Replaces each present, non-empty Info text. 1, or 0 for a bad handle. */
int EngineSetInfo(int handle, const char* title, const char* subject, const char* author,
                  const char* keywords, const char* creator);

/* Draws text at (x, y), the top-left corner of its first line, in the current font and text
 * size; x = y = -1 (or a 0 coordinate) continues where the previous text ended. Each line feed
 * starts a new line. Begins a page when none is open. 1 drawn, 0 refused. */
int EngineDrawText(int handle, int x, int y, const char* text, int colour);

/* Draws a straight line of the given width (1..1000) between two points (each coordinate
 * 0..11399). Begins a page when none is open. 1 drawn, 0 refused. */
int EngineDrawLine(int handle, int x1, int y1, int x2, int y2, int width, int colour);

/* Draws every image of a JPEG or TIFF file (one per TIFF directory) on the open page, or on
 * pages of their own sized to the image when none is open. 1 success, 0 failure. */
int PlaceImageFile(int handle, const char* path);

/* Adds an image file of any supported kind: JPEG data passes through (or is re-encoded at
 * the quality of option 128), TIFF pages and other formats are re-saved under the compression
 * choices, and anything else goes through the converter plug-in. 1 success, 0 failure, -1 when
 * the frame range is out of reach or the converter is missing or fails. */
int EngineAddImage(int handle, const char* path);

/* Completes the file and releases the handle. 1 closed; 0 for a bad handle, or when the file
 * could not be written completely (the handle is released all the same). */
int EngineClose(int handle);

/* Option keys. */
enum {
  ENGINE_OPT_FRAME_RANGE = 101,
  ENGINE_OPT_PLACEMENT_BOX = 104,
  ENGINE_OPT_SECURITY = 105,
  ENGINE_OPT_FONT = 106,
  ENGINE_OPT_TEXT_OPTION = 107,
  ENGINE_OPT_FONT_STYLE = 108,
  ENGINE_OPT_PAGE = 109,
  ENGINE_OPT_BOOKMARK = 110,
  ENGINE_OPT_PRODUCER = 111,
  ENGINE_OPT_IGNORE_MASK = 112,
  ENGINE_OPT_VIEWER = 121,
  ENGINE_OPT_ROTATION = 122,
  ENGINE_OPT_COMPRESSION = 123,
  ENGINE_OPT_CLEAR_COMPRESSION = 124,
  ENGINE_OPT_SKEW = 126,
  ENGINE_OPT_SECOND_IMAGE = 127,
  ENGINE_OPT_JPEG_QUALITY = 128
};

/* Query keys. */
enum {
  ENGINE_Q_FRAME_COUNT = 201,
  ENGINE_Q_IMAGE_WIDTH = 202,
  ENGINE_Q_IMAGE_HEIGHT = 203,
  ENGINE_Q_X_RESOLUTION = 204,
  ENGINE_Q_Y_RESOLUTION = 205,
  ENGINE_Q_PAGE_COUNT = 206,
  ENGINE_Q_PAGE_SIZE = 209,
  ENGINE_Q_COMPRESSION = 210,
  ENGINE_Q_BITS_PER_PIXEL = 211,
  ENGINE_Q_SKEW = 212,
  ENGINE_Q_SECOND_IMAGE = 213,
  ENGINE_Q_JPEG_QUALITY = 214,
  ENGINE_Q_FRAME_RANGE = 215,
  ENGINE_Q_TEXT_WIDTH = 250,
  ENGINE_Q_TEXT_HEIGHT = 251
};

/* Standard font codes of ENGINE_OPT_FONT and the text queries. */
enum {
  ENGINE_FONT_HELVETICA = 100,
  ENGINE_FONT_TIMES = 200,
  ENGINE_FONT_COURIER = 300,
  ENGINE_FONT_SYMBOL = 400,
  ENGINE_FONT_ZAPF_DINGBATS = 500
};

#ifdef __cplusplus
}
#endif

#endif
