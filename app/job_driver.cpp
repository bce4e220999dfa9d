#include "job_driver.h"

#include "app/decoration_fonts.h"
#include "app/document_loop.h"
#include "app/text_encoding.h"
#include "app/text_macros.h"
#include "engine/engine.h"
#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <strings.h>
#include <system_error>

namespace fs = std::filesystem;

namespace app {

void RunLog::Line(const std::string& tag, const std::string& value) {
  text_ += tag + ": " + value + "\r\n";
}

void RunLog::Time(std::time_t now) {
  std::tm t{};
  localtime_r(&now, &t);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d/%02d/%02d %d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1,
                t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  Line("[Time]", buf);
}

void RunLog::Flush(bool enabled, const std::string& folder, std::time_t now) {
  if (enabled && !text_.empty() && !folder.empty()) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    std::tm t{};
    localtime_r(&now, &t);
    char name[32];
    std::snprintf(name, sizeof name, "%d_%02d_%02d.log", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
    std::string dir = folder.back() == '/' ? folder : folder + "/";
    std::ofstream out(dir + name, std::ios::binary | std::ios::app);
    if (out) out.write(text_.data(), static_cast<std::streamsize>(text_.size()));
  }
  text_.clear();
}

PageLayout LayoutFrom(const ConversionSettings& s) {
  PageLayout l;
  l.pageSize = s.pageSize;
  l.pageW = s.page_W;
  l.pageH = s.page_H;
  l.xdpi = s.xdpi;
  l.ydpi = s.ydpi;
  l.mTop = s.mTop;
  l.mLeft = s.mLeft;
  l.mRight = s.mRight;
  l.mBottom = s.mBottom;
  l.layout = s.layout;
  l.order = s.order;
  l.repeat = s.repeat == 1;
  l.border = s.border == 1;
  l.imgFit = s.imgFit;
  return l;
}

DecorationSettings DecorationsFrom(const ConversionSettings& s) {
  DecorationSettings d;
  d.header = s.header;
  d.hpos = s.hpos;
  d.hcolor = s.hcolor;
  d.hWatermark = s.hWatermark;
  d.footer = s.footer;
  d.fpos = s.fpos;
  d.fcolor = s.fcolor;
  d.fWatermark = s.fWatermark;
  d.text = s.text;
  d.tpos = s.tpos;
  d.tcolor = s.tcolor;
  d.tsize = s.tsize;
  d.tWatermark = s.tWatermark;
  d.image = s.image;
  d.imgpos = s.imgpos;
  d.imgWidth = s.imgWidth;
  d.imgHeight = s.imgHeight;
  d.imgWatermark = s.imgWatermark;
  d.font = s.font;
  return d;
}

std::string UniqueName(const std::string& path, const char* suffixFormat) {
  fs::path p(path);
  std::string folder = p.has_parent_path() ? p.parent_path().string() + "/" : "";
  std::string stem = p.stem().string(), ext = p.extension().string();
  for (long k = 1;; ++k) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, suffixFormat, static_cast<int>(k));
    std::string candidate = folder + stem + suffix + ext;
    std::error_code ec;
    if (!fs::exists(candidate, ec)) return candidate;
  }
}

const char* StatusText(RowStatus status) {
  switch (status) {
  case RowStatus::kConverted:
    return "Succeed";
  case RowStatus::kFailed:
    return "Failed";
  default:
    return "-";
  }
}

std::string ExpectedOutput(const RunSettings& run, const std::string& input) {
  switch (run.mode) {
  case OutputMode::kPerImage:
    return run.outPath1 + fs::path(input).stem().string() + ".pdf";
  case OutputMode::kPerFolder:
    return run.outPath2 + HoldingFolderName(input) + ".pdf";
  default:
    return run.outPath0;
  }
}

int ViewerBits(const ConversionSettings& d) {
  int bits = d.document == 1 ? 2 : d.document == 2 ? 4 : 1;
  bits += d.zoom != 0 ? 64 : 128;
  if (d.fullscreen == 1) bits += 8;
  if (d.hideTool == 1) bits += 0x1000;
  if (d.hideMenu == 1) bits += 0x2000;
  if (d.hideControl == 1) bits += 0x4000;
  if (d.resize == 1) bits += 0x8000;
  if (d.center == 1) bits += 0x10000;
  return bits;
}

namespace {

const char* const kColourNames[] = {"", "lzw", "zip", "packbits", "jpeg"};
const char* const kBitonalNames[] = {"", "lzw", "zip", "g3", "g4"};

} // namespace

JobDriver::JobDriver(EngineCalls& engine, DriverFrontEnd& frontEnd, const RunSettings& settings)
    : engine_(engine), front_(frontEnd), settings_(settings),
      composer_(engine, LayoutFrom(settings.conv), [this](int handle, int w, int h) {
        DrawPageDecorations(engine_, handle, w, h, DecorationsFrom(settings_.conv), filters_);
      }) {
  // Page text is drawn in the standard fonts' single-byte code page; header and footer
  // macros are expanded first.
  filters_.expand = [this](const std::string& t) {
    return Utf8ToWin1252(ExpandMacros(t, settings_.conv, clock));
  };
  filters_.encode = [](const std::string& t) { return Utf8ToWin1252(t); };
  // Text beyond that code page goes as UTF-8 in an installed font that shows it.
  filters_.expandUtf8 = [this](const std::string& t) {
    return ExpandMacros(t, settings_.conv, clock);
  };
  filters_.unicodeFont = InstalledFontFor;
}

std::string WriteFailure(const std::string& path, int error) {
  std::string text = "could not write " + path;
  if (error != 0) text += std::string(": ") + std::strerror(error);
  return text;
}

namespace {

std::string NumberedName(const std::string& base, const char* suffixFormat, int k) {
  fs::path p(base);
  std::string folder = p.has_parent_path() ? p.parent_path().string() + "/" : "";
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, suffixFormat, k);
  return folder + p.stem().string() + suffix + p.extension().string();
}

// Creates the missing folders of path's folder; returns those it made, outermost first.
std::vector<std::string> MakeFolders(const std::string& file) {
  std::vector<std::string> made;
  std::string folder = fs::path(file).parent_path().string();
  std::vector<std::string> missing;
  std::error_code ec;
  for (fs::path p = folder; !p.empty() && !fs::exists(p, ec); p = p.parent_path()) {
    missing.push_back(p.string());
    if (p == p.parent_path()) break;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (::mkdir(it->c_str(), 0777) != 0) break;
    made.push_back(*it);
  }
  return made;
}

void RemoveFolders(std::vector<std::string>& made) {
  for (auto it = made.rbegin(); it != made.rend(); ++it)
    ::rmdir(it->c_str());
  made.clear();
}

} // namespace

OutputDocument JobDriver::OpenOutput(const std::string& path, ExistingFilePolicy policy,
                                     const char* suffixFormat) {
  OutputDocument doc;
  lastOutput_ = path;
  std::string target = path;
  bool append = false;
  doc.suffixFormat = suffixFormat;
  doc.numberedBase = path;
  std::error_code ec;
  bool exists = fs::exists(path, ec);
  switch (policy) {
  case ExistingFilePolicy::kAsk:
    if (exists) {
      auto chosen = front_.AskSaveName(path);
      if (chosen) {
        target = *chosen;
      } else {
        doc.naming = OutputDocument::Naming::kNumbered;
        target = UniqueName(path, suffixFormat);
      }
    }
    break;
  case ExistingFilePolicy::kOverwrite:
    // Replaced only when the new file is complete.
    break;
  case ExistingFilePolicy::kCreateNew:
    // The name is taken when the file is complete; another writer may take one first.
    doc.naming = OutputDocument::Naming::kNumbered;
    doc.baseFirst = !exists;
    if (exists) target = UniqueName(path, suffixFormat);
    break;
  default:
    if (exists) {
      append = true;
    } else {
      doc.naming = OutputDocument::Naming::kNumbered;
      doc.baseFirst = true;
    }
    break;
  }
  lastOutput_ = target;
  doc.finalPath = target;
  if (createOutputFolders) doc.createdFolders = MakeFolders(target);
  if (append) {
    // Two appenders take turns: the second reads what the first wrote.
    doc.lock = std::make_unique<platform::FileLock>();
    if (!doc.lock->Lock(target, [this] { return abort_.load(); })) {
      doc.error = doc.lock->error();
      doc.lock.reset();
      doc.outcome = OutputDocument::Outcome::kFailed;
      return doc;
    }
  }
  if (!doc.file.Open(target)) {
    doc.error = doc.file.error();
    doc.lock.reset();
    RemoveFolders(doc.createdFolders);
    doc.outcome = OutputDocument::Outcome::kFailed;
    return doc;
  }
  doc.workPath = doc.file.writePath();
  if (append) {
    // The update goes onto a copy; the original stays whole until it is complete.
    if (doc.file.CopyFrom(target)) doc.handle = engine_.OpenAppend(doc.workPath.c_str());
    if (doc.handle > 0)
      doc.pagesAtOpen =
          engine_.Query(doc.handle, ENGINE_Q_PAGE_COUNT, nullptr, nullptr, nullptr, nullptr);
  } else {
    doc.handle = engine_.Create(doc.workPath.c_str());
  }
  if (doc.handle <= 0) {
    if (doc.error == 0) doc.error = doc.file.error();
    DiscardOutput(doc);
    doc.outcome = OutputDocument::Outcome::kFailed;
  }
  return doc;
}

void JobDriver::DiscardOutput(OutputDocument& doc) {
  if (doc.handle > 0) engine_.Close(doc.handle);
  doc.handle = 0;
  doc.file.Discard();
  doc.lock.reset();
  RemoveFolders(doc.createdFolders);
}

bool JobDriver::CloseOutput(OutputDocument& doc) {
  if (doc.handle <= 0) return false;
  int pages = engine_.Query(doc.handle, ENGINE_Q_PAGE_COUNT, nullptr, nullptr, nullptr, nullptr);
  errno = 0;
  int closed = engine_.Close(doc.handle);
  int closeError = errno;
  doc.handle = 0;
  auto fail = [&doc](OutputDocument::Outcome outcome, int error) {
    doc.outcome = outcome;
    doc.error = error;
    doc.file.Discard();
    doc.lock.reset();
    RemoveFolders(doc.createdFolders);
    return false;
  };
  if (abort_) return fail(OutputDocument::Outcome::kAborted, 0);
  if (closed != 1) return fail(OutputDocument::Outcome::kFailed, closeError);
  // A document without a new page is not written: an existing file stays as it was.
  if (pages <= doc.pagesAtOpen) return fail(OutputDocument::Outcome::kEmpty, 0);
  bool placed = false;
  if (doc.naming == OutputDocument::Naming::kNumbered) {
    std::string taken;
    placed = doc.file.PlaceNumbered(
        [&doc](int k) {
          if (doc.baseFirst) {
            if (k == 0) return doc.numberedBase;
            return NumberedName(doc.numberedBase, doc.suffixFormat, k);
          }
          return NumberedName(doc.numberedBase, doc.suffixFormat, k + 1);
        },
        taken);
    if (placed) doc.finalPath = taken;
  } else {
    placed = doc.file.Place(platform::Placement::kReplace);
  }
  if (!placed) return fail(OutputDocument::Outcome::kFailed, doc.file.error());
  doc.lock.reset();
  doc.createdFolders.clear();
  doc.outcome = OutputDocument::Outcome::kWritten;
  lastOutput_ = doc.finalPath;
  return true;
}

void JobDriver::ApplyDocumentSettings(int handle) {
  const ConversionSettings& d = settings_.conv;
  auto name = [](const char* const* table, int choice) {
    return choice >= 1 && choice <= 4 ? table[choice] : nullptr;
  };
  if (d.colorTif != 0)
    engine_.SetOption(handle, ENGINE_OPT_COMPRESSION, 3, 0, name(kColourNames, d.colorTif),
                      nullptr);
  if (d.grayTif != 0)
    engine_.SetOption(handle, ENGINE_OPT_COMPRESSION, 2, 0, name(kColourNames, d.grayTif), nullptr);
  if (d.bwTif != 0)
    engine_.SetOption(handle, ENGINE_OPT_COMPRESSION, 1, 0, name(kBitonalNames, d.bwTif), nullptr);
  engine_.SetOption(handle, ENGINE_OPT_JPEG_QUALITY, d.quality, 0, nullptr, nullptr);
  engine_.SetOption(handle, ENGINE_OPT_SKEW, d.bSkew, 0, nullptr, nullptr);
  engine_.SetOption(handle, ENGINE_OPT_LOSSLESS, d.lossless, 0, nullptr, nullptr);
  engine_.SetOption(handle, ENGINE_OPT_AUTO_ROTATE, d.autoRotate, 0, nullptr, nullptr);
  engine_.SetOption(handle, ENGINE_OPT_ROTATION, d.pageRotate * 90, 0, nullptr, nullptr);
  std::string info[5] = {EngineTextString(d.title), EngineTextString(d.subject),
                         EngineTextString(d.author), EngineTextString(d.keywords),
                         EngineTextString(d.creator)};
  engine_.SetInfo(handle, info[0].c_str(), info[1].c_str(), info[2].c_str(), info[3].c_str(),
                  info[4].c_str());
  std::string producer = EngineTextString(d.producer.empty() ? kDefaultProducer : d.producer);
  engine_.SetOption(handle, ENGINE_OPT_PRODUCER, 0, 0, producer.c_str(), nullptr);
  if (d.security == 1) {
    int permissions = (d.print == 1 ? 1 : 0) + (d.copy == 1 ? 2 : 0) + (d.modify == 1 ? 4 : 0);
    engine_.SetOption(handle, ENGINE_OPT_SECURITY, d.level == 1 ? 128 : 40, permissions,
                      d.owner.c_str(), d.user.c_str());
  }
  engine_.SetOption(handle, ENGINE_OPT_VIEWER, ViewerBits(d), 0, nullptr, nullptr);
}

int JobDriver::AddInput(int handle, const std::string& path,
                        const std::function<void(int, int)>& frameDone) {
  int frames = engine_.FrameCount(handle, path);
  int result = 0;
  for (int j = 0; j < frames && !abort_; ++j) {
    auto title = BookmarkTitle(settings_.conv, j, frames, path, imageCounter_);
    result = composer_.AddFrame(handle, j, path, frames, title ? EngineTextString(*title) : "");
    ++imageCounter_;
    if (frameDone) frameDone(j, frames);
  }
  return frames > 0 ? result : 0;
}

void JobDriver::FinishPartialPage(int handle) {
  composer_.FinishDocument(handle);
}

void JobDriver::BeginDocument() {
  imageCounter_ = 0;
  composer_.Reset();
}

namespace {

constexpr DocumentLoopStyle kListStyle{
    "%03d", kCreateFailedState, kCreateFailedState, "Failed", nullptr, false};

// The file list's side of the document loop: rows, their statuses and the front end.
class ListHost : public DocumentLoopHost {
public:
  ListHost(JobDriver& driver, DriverFrontEnd& front, std::vector<ListRecord>& rows,
           const std::vector<size_t>& indices, bool resume, RunResult& result)
      : driver_(driver), front_(front), rows_(rows), indices_(indices), resume_(resume),
        result_(result) {
    for (size_t row : indices_)
      if (!(resume_ && rows_[row].processed)) ++total_;
  }

  int total() const { return total_; }

  bool StopRequested() const override { return driver_.stopRequested(); }

  bool BeginInput(size_t index) override {
    ListRecord& r = Row(index);
    front_.SelectRow(RowNumber(index));
    if (driver_.settings().mode == OutputMode::kPerImage) {
      if (resume_ && r.processed) return false;
      r.processed = true;
    }
    front_.RowStarted(RowNumber(index), r.path, ++started_, total_);
    return true;
  }

  std::string PerImageFolder(size_t) override { return driver_.settings().outPath1; }
  JobDriver& DriverForDocument() override { return driver_; }

  void DocumentOpened(const OutputDocument& doc) override {
    if (driver_.settings().mode == OutputMode::kMerge) front_.ShowOutputName(doc.finalPath);
  }
  void DocumentWritten(const std::string& path) override { result_.outputsWritten.push_back(path); }
  void FrameDone(size_t index, int frame, int frames) override {
    front_.FrameDone(RowNumber(index), frame, frames);
  }

  void Settle(const InputOutcome& o) override {
    ListRecord& r = Row(o.index);
    r.output = o.output;
    if (o.fault == DocumentFault::kNone && o.result > 0) {
      r.status = RowStatus::kConverted;
      r.reason.clear();
      ++result_.converted;
    } else if (o.fault == DocumentFault::kAborted) {
      // Not tried to the end: the row stays to be converted.
      r.status = RowStatus::kPending;
      r.reason = kAbortedReason;
    } else {
      r.status = RowStatus::kFailed;
      if (o.fault != DocumentFault::kNone) {
        r.reason = WriteFailure(o.output, o.error);
      } else {
        r.reason = driver_.engine().FailureReason(r.path, o.result);
        if (r.reason.empty()) r.reason = "could not be converted";
      }
      ++result_.failed;
    }
    front_.RowFinished(RowNumber(o.index), r);
  }

private:
  ListRecord& Row(size_t index) { return rows_[indices_[index]]; }
  int RowNumber(size_t index) const { return static_cast<int>(indices_[index]); }

  JobDriver& driver_;
  DriverFrontEnd& front_;
  std::vector<ListRecord>& rows_;
  const std::vector<size_t>& indices_;
  bool resume_;
  RunResult& result_;
  int total_ = 0;
  int started_ = 0;
};

} // namespace

RunResult JobDriver::Run(std::vector<ListRecord>& rows, bool resume) {
  RunResult result;
  failures_ = 0;
  lastLog_.clear();
  if (settings_.mode != OutputMode::kPerImage || !resume) {
    for (ListRecord& r : rows) {
      r.status = RowStatus::kPending;
      r.reason.clear();
      r.processed = false;
    }
  }
  if (settings_.mode == OutputMode::kPerFolder) {
    std::vector<int> order(rows.size());
    for (size_t i = 0; i < order.size(); ++i)
      order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(), [&rows](int a, int b) {
      return rows[static_cast<size_t>(a)].path < rows[static_cast<size_t>(b)].path;
    });
    std::vector<ListRecord> sorted;
    sorted.reserve(rows.size());
    for (int i : order)
      sorted.push_back(std::move(rows[static_cast<size_t>(i)]));
    rows = std::move(sorted);
    front_.RowsReordered(order);
  }
  std::vector<size_t> indices(rows.size());
  std::vector<std::string> inputs;
  for (size_t i = 0; i < rows.size(); ++i) {
    indices[i] = i;
    inputs.push_back(rows[i].path);
  }
  ListHost host(*this, front_, rows, indices, resume, result);
  front_.RunStarted(host.total());
  if (!stop_) {
    BeginDocument();
    LoopTotals totals = RunDocumentLoop(settings_, inputs, host, log_, kListStyle, clock);
    result.outputFailures = totals.documentsFailed;
    result.createFailed = totals.createFailedLogged;
  }
  result.lastOutput = lastOutput_;
  lastLog_ = log_.text();
  log_.Flush(settings_.log, settings_.logpath, clock());
  failures_ = result.failed;
  result.aborted = abort_.exchange(false);
  result.stopped = stop_.exchange(false);
  front_.RunFinished(result);
  return result;
}

} // namespace app
