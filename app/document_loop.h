// The three output modes (merge, per image, per folder) over a list of inputs, written once
// for the file-list run and the folder monitor. The host decides what an outcome means for
// its rows or files; the loop opens, fills and closes the documents and writes the log.
// Runs entirely on the caller's thread.
#pragma once

#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "app/job_driver.h"

namespace app {

enum class DocumentFault {
  kNone,
  kNotOpened,  // the input's document could not be opened
  kNotWritten, // the document was filled but could not be completed
};

struct InputOutcome {
  size_t index = 0;
  int result = 0; // the last frame's result; 0 for no frames or no document
  DocumentFault fault = DocumentFault::kNone;
  std::string output; // the document's final name, or the name it could not open
  // Per folder: the input at which its folder's document failed to open.
  bool openedHere = false;
};

class DocumentLoopHost {
public:
  virtual ~DocumentLoopHost() = default;
  virtual bool StopRequested() const = 0;
  // Before input `index` is touched; false passes over it without a log line.
  virtual bool BeginInput(size_t index) { return true; }
  // Per-image mode: the folder of the input's document, ending in '/'.
  virtual std::string PerImageFolder(size_t index) = 0;
  // The building blocks for the next document (a host may pick up new settings here). The
  // reference stays valid until the next call.
  virtual JobDriver& DriverForDocument() = 0;
  virtual void DocumentOpened(const OutputDocument& doc) {}
  virtual void DocumentWritten(const std::string& path) {}
  virtual void FrameDone(size_t index, int frame, int frames) {}
  // Exactly once for every input the loop began, and for every input of a merge whose
  // document could not be opened; after its document is complete or known to have failed.
  virtual void Settle(const InputOutcome& outcome) = 0;
};

// The "[State]" texts that differ between the file list and the monitor.
struct DocumentLoopStyle {
  const char* suffixFormat;      // numbered names: "%03d" or "(NEW%03d)"
  const char* mergeOpenFailed;   // the merge document could not be opened
  const char* folderOpenFailed;  // a per-folder document could not be opened
  const char* imageCloseFailed;  // a per-image document could not be completed
  const char* folderCloseFailed; // a per-folder document could not be completed; null: none
  bool createFolders;            // create the output folders with their parents first
};

inline constexpr char kCreateFailedState[] = "Create Failed";

struct LoopTotals {
  int documentsFailed = 0;
  bool createFailedLogged = false;
};

// The name of the folder that holds the file, as its per-folder document is named.
std::string HoldingFolderName(const std::string& path);

// Inputs must already be in processing order (per folder: sorted by path).
LoopTotals RunDocumentLoop(const RunSettings& run, const std::vector<std::string>& inputs,
                           DocumentLoopHost& host, RunLog& log, const DocumentLoopStyle& style,
                           const std::function<std::time_t()>& clock);

} // namespace app
