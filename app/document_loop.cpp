#include "app/document_loop.h"

#include <strings.h>

#include <filesystem>

#include "app/output_paths.h"

namespace fs = std::filesystem;

namespace app {

namespace {

constexpr char kState[] = "[State]";

std::string FolderOfFile(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

const char* AddedState(int result) {
  return StatusText(result > 0 ? RowStatus::kConverted : RowStatus::kFailed);
}

class Loop {
public:
  Loop(const RunSettings& run, const std::vector<std::string>& inputs, DocumentLoopHost& host,
       RunLog& log, const DocumentLoopStyle& style, const std::function<std::time_t()>& clock)
      : run_(run), inputs_(inputs), host_(host), log_(log), style_(style), clock_(clock) {}

  LoopTotals Run() {
    switch (run_.mode) {
    case OutputMode::kPerImage:
      PerImage();
      break;
    case OutputMode::kPerFolder:
      PerFolder();
      break;
    default:
      Merge();
      break;
    }
    return totals_;
  }

private:
  struct Pending {
    size_t index;
    int result;
  };

  void StateLine(const char* text) {
    if (!text) return;
    log_.Line(kState, text);
    if (std::string_view(text) == kCreateFailedState) totals_.createFailedLogged = true;
  }

  OutputDocument Open(JobDriver& d, const std::string& name) {
    OutputDocument doc = d.OpenOutput(name, run_.policy, style_.suffixFormat);
    return doc;
  }

  void Prepare(JobDriver& d, const OutputDocument& doc) {
    host_.DocumentOpened(doc);
    d.ApplyDocumentSettings(doc.handle);
    d.BeginDocument();
  }

  int Add(JobDriver& d, int handle, size_t i) {
    return d.AddInput(handle, inputs_[i],
                      [this, i](int frame, int frames) { host_.FrameDone(i, frame, frames); });
  }

  // Finishes and closes; the outcome says whether the file is complete, held no page (and
  // was not written), could not be written or was dropped by an abort.
  OutputDocument::Outcome Complete(JobDriver& d, OutputDocument& doc) {
    if (d.abortRequested()) {
      d.DiscardOutput(doc);
      doc.outcome = OutputDocument::Outcome::kAborted;
      return doc.outcome;
    }
    d.FinishPartialPage(doc.handle);
    d.CloseOutput(doc);
    if (doc.outcome == OutputDocument::Outcome::kWritten)
      host_.DocumentWritten(doc.finalPath);
    else if (doc.outcome == OutputDocument::Outcome::kFailed)
      ++totals_.documentsFailed;
    return doc.outcome;
  }

  static DocumentFault FaultOf(OutputDocument::Outcome o) {
    switch (o) {
    case OutputDocument::Outcome::kFailed:
      return DocumentFault::kNotWritten;
    case OutputDocument::Outcome::kAborted:
      return DocumentFault::kAborted;
    default:
      return DocumentFault::kNone;
    }
  }

  void SettleAll(const std::vector<Pending>& pending, const OutputDocument& doc) {
    for (const Pending& p : pending)
      host_.Settle({p.index, p.result, FaultOf(doc.outcome), doc.finalPath, false, doc.error});
  }

  void Merge() {
    log_.Time(clock_());
    if (style_.createFolders) CreateFolders(FolderOfFile(run_.outPath0));
    JobDriver& d = host_.DriverForDocument();
    OutputDocument doc = Open(d, run_.outPath0);
    log_.Line("[Output]", run_.outPath0);
    if (doc.handle <= 0 && d.abortRequested()) {
      // Stopped while waiting for the file: nothing was tried.
      for (size_t i = 0; i < inputs_.size(); ++i)
        host_.Settle({i, 0, DocumentFault::kAborted, doc.finalPath, false, 0});
      return;
    }
    if (doc.handle <= 0) {
      StateLine(style_.mergeOpenFailed);
      ++totals_.documentsFailed;
      for (size_t i = 0; i < inputs_.size(); ++i)
        host_.Settle({i, 0, DocumentFault::kNotOpened, doc.finalPath, false, doc.error});
      return;
    }
    Prepare(d, doc);
    std::vector<Pending> pending;
    for (size_t i = 0; i < inputs_.size() && !host_.StopRequested(); ++i) {
      if (!host_.BeginInput(i)) continue;
      log_.Line("[Input]", inputs_[i]);
      int result = Add(d, doc.handle, i);
      log_.Line(kState, AddedState(result));
      pending.push_back({i, result});
    }
    if (Complete(d, doc) == OutputDocument::Outcome::kFailed) StateLine(kCreateFailedState);
    SettleAll(pending, doc);
  }

  void PerImage() {
    for (size_t i = 0; i < inputs_.size() && !host_.StopRequested(); ++i) {
      if (!host_.BeginInput(i)) continue;
      log_.Time(clock_());
      log_.Line("[Input]", inputs_[i]);
      std::string folder = host_.PerImageFolder(i);
      if (style_.createFolders) CreateFolders(folder);
      std::string name = folder + fs::path(inputs_[i]).stem().string() + ".pdf";
      log_.Line("[Output]", name);
      JobDriver& d = host_.DriverForDocument();
      OutputDocument doc = Open(d, name);
      if (doc.handle <= 0 && d.abortRequested()) {
        host_.Settle({i, 0, DocumentFault::kAborted, doc.finalPath, true, 0});
        continue;
      }
      if (doc.handle <= 0) {
        log_.Line(kState, StatusText(RowStatus::kFailed));
        ++totals_.documentsFailed;
        host_.Settle({i, 0, DocumentFault::kNotOpened, doc.finalPath, true, doc.error});
        continue;
      }
      Prepare(d, doc);
      int result = Add(d, doc.handle, i);
      if (Complete(d, doc) == OutputDocument::Outcome::kFailed)
        StateLine(style_.imageCloseFailed);
      else
        log_.Line(kState, AddedState(result));
      SettleAll({{i, result}}, doc);
    }
  }

  void PerFolder() {
    JobDriver* d = nullptr;
    OutputDocument doc;
    std::vector<Pending> pending;
    std::string previous, failedName;
    int failedError = 0;
    bool first = true;
    auto close = [&]() {
      if (doc.handle <= 0) return;
      if (Complete(*d, doc) == OutputDocument::Outcome::kFailed)
        StateLine(style_.folderCloseFailed);
      SettleAll(pending, doc);
      pending.clear();
    };
    for (size_t i = 0; i < inputs_.size() && !host_.StopRequested(); ++i) {
      if (!host_.BeginInput(i)) continue;
      std::string name = run_.outPath2 + HoldingFolderName(inputs_[i]) + ".pdf";
      bool newDocument = first || strcasecmp(name.c_str(), previous.c_str()) != 0;
      first = false;
      previous = name;
      if (newDocument) {
        close();
        log_.Time(clock_());
        d = &host_.DriverForDocument();
        if (style_.createFolders) CreateFolders(run_.outPath2);
        doc = Open(*d, name);
        log_.Line("[Output]", name);
        if (doc.handle <= 0 && d->abortRequested()) {
          host_.Settle({i, 0, DocumentFault::kAborted, doc.finalPath, true, 0});
          continue;
        }
        if (doc.handle <= 0) {
          StateLine(style_.folderOpenFailed);
          ++totals_.documentsFailed;
          failedName = doc.finalPath;
          failedError = doc.error;
          host_.Settle({i, 0, DocumentFault::kNotOpened, failedName, true, failedError});
          continue;
        }
        Prepare(*d, doc);
      }
      if (doc.handle <= 0) {
        host_.Settle({i, 0, DocumentFault::kNotOpened, failedName, false, failedError});
        continue;
      }
      log_.Line("[Input]", inputs_[i]);
      int result = Add(*d, doc.handle, i);
      log_.Line(kState, AddedState(result));
      pending.push_back({i, result});
    }
    close();
  }

  const RunSettings& run_;
  const std::vector<std::string>& inputs_;
  DocumentLoopHost& host_;
  RunLog& log_;
  const DocumentLoopStyle& style_;
  const std::function<std::time_t()>& clock_;
  LoopTotals totals_;
};

} // namespace

std::string HoldingFolderName(const std::string& path) {
  std::string name = fs::path(path).parent_path().filename().string();
  return name.empty() ? "root" : name; // a file directly in "/"
}

LoopTotals RunDocumentLoop(const RunSettings& run, const std::vector<std::string>& inputs,
                           DocumentLoopHost& host, RunLog& log, const DocumentLoopStyle& style,
                           const std::function<std::time_t()>& clock) {
  return Loop(run, inputs, host, log, style, clock).Run();
}

} // namespace app
