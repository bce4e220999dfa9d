#include "job_driver.h"

#include "app/text_encoding.h"
#include "app/text_macros.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
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

// A unique hidden name in the target's folder, so the final rename stays on one file system.
std::string WorkName(const std::string& target) {
  fs::path p(target);
  std::string folder = p.has_parent_path() ? p.parent_path().string() : ".";
  std::string tmpl = folder + "/." + p.filename().string() + ".XXXXXX.part";
  int fd = mkstemps(tmpl.data(), 5);
  if (fd < 0) return "";
  close(fd);
  return tmpl;
}

bool CopyFile(const std::string& from, const std::string& to) {
  std::error_code ec;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
  return !ec;
}

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
}

OutputDocument JobDriver::OpenOutput(const std::string& path, ExistingFilePolicy policy,
                                     const char* suffixFormat) {
  OutputDocument doc;
  lastOutput_ = path;
  std::string target = path;
  bool append = false;
  std::error_code ec;
  if (fs::exists(path, ec)) {
    switch (policy) {
    case ExistingFilePolicy::kAsk: {
      auto chosen = front_.AskSaveName(path);
      target = chosen ? *chosen : UniqueName(path, suffixFormat);
      break;
    }
    case ExistingFilePolicy::kOverwrite:
      // Replaced only when the new file is complete.
      break;
    case ExistingFilePolicy::kCreateNew:
      target = UniqueName(path, suffixFormat);
      break;
    default:
      append = true;
      break;
    }
  }
  lastOutput_ = target;
  doc.finalPath = target;
  doc.workPath = WorkName(target);
  if (doc.workPath.empty()) return doc;
  if (append) {
    // The update goes onto a copy; the original stays whole until it is complete.
    if (CopyFile(target, doc.workPath)) doc.handle = engine_.OpenAppend(doc.workPath.c_str());
  } else {
    doc.handle = engine_.Create(doc.workPath.c_str());
  }
  if (doc.handle <= 0) {
    std::remove(doc.workPath.c_str());
    doc.handle = 0;
  }
  return doc;
}

bool JobDriver::CloseOutput(OutputDocument& doc) {
  if (doc.handle <= 0) return false;
  int closed = engine_.Close(doc.handle);
  doc.handle = 0;
  std::error_code ec;
  if (closed == 1) fs::rename(doc.workPath, doc.finalPath, ec);
  if (closed != 1 || ec) {
    std::remove(doc.workPath.c_str());
    return false;
  }
  return true;
}

void JobDriver::ApplyDocumentSettings(int handle) {
  const ConversionSettings& d = settings_.conv;
  auto name = [](const char* const* table, int choice) {
    return choice >= 1 && choice <= 4 ? table[choice] : nullptr;
  };
  if (d.colorTif != 0)
    engine_.SetOption(handle, 123, 3, 0, name(kColourNames, d.colorTif), nullptr);
  if (d.grayTif != 0) engine_.SetOption(handle, 123, 2, 0, name(kColourNames, d.grayTif), nullptr);
  if (d.bwTif != 0) engine_.SetOption(handle, 123, 1, 0, name(kBitonalNames, d.bwTif), nullptr);
  engine_.SetOption(handle, 128, d.quality, 0, nullptr, nullptr);
  engine_.SetOption(handle, 126, d.bSkew, 0, nullptr, nullptr);
  engine_.SetOption(handle, 131, d.lossless, 0, nullptr, nullptr);
  engine_.SetOption(handle, 132, d.autoRotate, 0, nullptr, nullptr);
  engine_.SetOption(handle, 122, d.pageRotate * 90, 0, nullptr, nullptr);
  std::string info[5] = {EngineTextString(d.title), EngineTextString(d.subject),
                         EngineTextString(d.author), EngineTextString(d.keywords),
                         EngineTextString(d.creator)};
  engine_.SetInfo(handle, info[0].c_str(), info[1].c_str(), info[2].c_str(), info[3].c_str(),
                  info[4].c_str());
  std::string producer = EngineTextString(d.producer.empty() ? kDefaultProducer : d.producer);
  engine_.SetOption(handle, 111, 0, 0, producer.c_str(), nullptr);
  if (d.security == 1) {
    int permissions = (d.print == 1 ? 1 : 0) + (d.copy == 1 ? 2 : 0) + (d.modify == 1 ? 4 : 0);
    engine_.SetOption(handle, 105, d.level == 1 ? 128 : 40, permissions, d.owner.c_str(),
                      d.user.c_str());
  }
  engine_.SetOption(handle, 121, ViewerBits(d), 0, nullptr, nullptr);
}

int JobDriver::AddInput(int handle, const std::string& path) {
  int frames =
      engine_.Query(handle, 201, nullptr, nullptr, const_cast<char*>(path.c_str()), nullptr);
  int result = 0;
  for (int j = 0; j < frames; ++j) {
    auto title = BookmarkTitle(settings_.conv, j, frames, path, imageCounter_);
    result = composer_.AddFrame(handle, j, path, frames, title ? EngineTextString(*title) : "");
    ++imageCounter_;
  }
  return frames > 0 ? result : 0;
}

void JobDriver::FinishPartialPage(int handle) {
  composer_.FinishDocument(handle);
}

void JobDriver::SetStatus(std::vector<ListRecord>& rows, int row, int result) {
  const char* status = result > 0 ? "Succeed" : "Failed";
  if (result <= 0) ++failures_;
  rows[static_cast<size_t>(row)].status = status;
  front_.SetRowStatus(row, status);
  log_.Line("[State]", status);
  front_.FileDone(row, rows[static_cast<size_t>(row)].path, result);
}

bool JobDriver::Run(std::vector<ListRecord>& rows, bool resume) {
  stopRequested = false;
  failures_ = 0;
  if (settings_.mode != OutputMode::kPerImage || !resume) {
    for (size_t i = 0; i < rows.size(); ++i) {
      rows[i].status = "-";
      rows[i].processed = false;
    }
  }
  imageCounter_ = 0;
  composer_.Reset();
  switch (settings_.mode) {
  case OutputMode::kPerImage:
    RunPerImage(rows, resume);
    break;
  case OutputMode::kPerFolder:
    RunPerFolder(rows);
    break;
  default:
    RunMerge(rows);
    break;
  }
  lastLog_ = log_.text();
  log_.Flush(settings_.log, settings_.logpath, clock());
  return !stopRequested;
}

void JobDriver::RunMerge(std::vector<ListRecord>& rows) {
  log_.Time(clock());
  OutputDocument doc = OpenOutput(settings_.outPath0, settings_.policy, "%03d");
  log_.Line("[Output]", settings_.outPath0);
  if (doc.handle <= 0) {
    log_.Line("[State]", "Create Failed");
    failures_ = static_cast<int>(rows.size());
    return;
  }
  front_.ShowOutputName(lastOutput_);
  ApplyDocumentSettings(doc.handle);
  for (size_t i = 0; i < rows.size() && !stopRequested; ++i) {
    front_.SelectRow(static_cast<int>(i));
    log_.Line("[Input]", rows[i].path);
    SetStatus(rows, static_cast<int>(i), AddInput(doc.handle, rows[i].path));
  }
  FinishPartialPage(doc.handle);
  if (!CloseOutput(doc)) {
    log_.Line("[State]", "Create Failed");
    failures_ = static_cast<int>(rows.size());
  }
}

void JobDriver::RunPerImage(std::vector<ListRecord>& rows, bool resume) {
  for (size_t i = 0; i < rows.size() && !stopRequested; ++i) {
    front_.SelectRow(static_cast<int>(i));
    if (resume && rows[i].processed) continue;
    rows[i].processed = true;
    log_.Time(clock());
    log_.Line("[Input]", rows[i].path);
    std::string name = settings_.outPath1 + fs::path(rows[i].path).stem().string() + ".pdf";
    log_.Line("[Output]", name);
    OutputDocument doc = OpenOutput(name, settings_.policy, "%03d");
    if (doc.handle <= 0) {
      SetStatus(rows, static_cast<int>(i), 0);
      continue;
    }
    ApplyDocumentSettings(doc.handle);
    imageCounter_ = 0;
    composer_.Reset();
    int result = AddInput(doc.handle, rows[i].path);
    FinishPartialPage(doc.handle);
    if (!CloseOutput(doc)) result = 0;
    SetStatus(rows, static_cast<int>(i), result);
  }
}

void JobDriver::RunPerFolder(std::vector<ListRecord>& rows) {
  std::stable_sort(rows.begin(), rows.end(),
                   [](const ListRecord& a, const ListRecord& b) { return a.path < b.path; });
  OutputDocument doc;
  std::string previous;
  bool first = true;
  std::vector<int> rowsOfDocument;
  auto closeDocument = [&]() {
    if (doc.handle <= 0) return;
    FinishPartialPage(doc.handle);
    if (!CloseOutput(doc)) {
      // The folder's file could not be completed: its rows did not succeed after all.
      for (int r : rowsOfDocument) {
        if (rows[static_cast<size_t>(r)].status == "Succeed") {
          rows[static_cast<size_t>(r)].status = "Failed";
          front_.SetRowStatus(r, "Failed");
          ++failures_;
        }
      }
    }
    rowsOfDocument.clear();
  };
  for (size_t i = 0; i < rows.size() && !stopRequested; ++i) {
    front_.SelectRow(static_cast<int>(i));
    fs::path parent = fs::path(rows[i].path).parent_path();
    std::string folderName = parent.filename().string();
    if (folderName.empty()) folderName = "root"; // a file directly in "/"
    std::string name = settings_.outPath2 + folderName + ".pdf";
    if (first || strcasecmp(name.c_str(), previous.c_str()) != 0) {
      first = false;
      closeDocument();
      log_.Time(clock());
      doc = OpenOutput(name, settings_.policy, "%03d");
      log_.Line("[Output]", name);
      if (doc.handle <= 0)
        log_.Line("[State]", "Create Failed");
      else
        ApplyDocumentSettings(doc.handle);
      imageCounter_ = 0;
      composer_.Reset();
    }
    previous = name;
    if (doc.handle > 0) {
      log_.Line("[Input]", rows[i].path);
      SetStatus(rows, static_cast<int>(i), AddInput(doc.handle, rows[i].path));
      rowsOfDocument.push_back(static_cast<int>(i));
    } else {
      ++failures_;
    }
  }
  closeDocument();
}

} // namespace app
