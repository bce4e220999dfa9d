#include "pdf_reader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "pdfwriter/names.h"
#include "syntax.h"

namespace reader {

size_t MemorySource::ReadAt(int64_t offset, void* out, size_t n) {
  if (offset < 0 || static_cast<uint64_t>(offset) >= size_) return 0;
  size_t avail = size_ - static_cast<size_t>(offset);
  n = std::min(n, avail);
  std::memcpy(out, data_ + offset, n);
  return n;
}

FdSource::FdSource(int fd) : fd_(fd) {
  struct stat st {};
  if (fstat(fd, &st) == 0) size_ = static_cast<int64_t>(st.st_size);
}

size_t FdSource::ReadAt(int64_t offset, void* out, size_t n) {
  size_t done = 0;
  while (done < n) {
    ssize_t r = pread(fd_, static_cast<char*>(out) + done, n - done,
                      static_cast<off_t>(offset + static_cast<int64_t>(done)));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    done += static_cast<size_t>(r);
  }
  return done;
}

bool AcceptableHeader(Source& source) {
  char head[16] = {};
  size_t n = source.ReadAt(0, head, sizeof head);
  size_t start = 0;
  while (start < n && head[start] != '%')
    ++start;
  if (start + 8 > n) return false;
  const char* h = head + start;
  static const char* const kAccepted[] = {"%PDF-1.2", "%PDF-1.3", "%PDF-1.4"};
  for (const char* a : kAccepted)
    if (strncasecmp(h, a, 8) == 0) return true;
  if (strncasecmp(h, "%PDF-1.5", 8) != 0) return false;
  // Our own 1.5 files: the marker starts one byte after the eight header characters.
  size_t marker = start + 9;
  if (marker + pdf::names::kHeaderMarkerLength > n) return false;
  return std::memcmp(head + marker, pdf::names::kHeaderMarker, pdf::names::kHeaderMarkerLength) ==
         0;
}

namespace {

constexpr int kMaxObjectNumber = 8388607;
constexpr int kMaxSections = 1000;
constexpr int kMaxTreeDepth = 64;        // page-tree levels
constexpr size_t kNodeLimit = 16u << 20; // bytes of the catalog or a page-tree node
constexpr size_t kEncryptLimit = 10240;
constexpr size_t kInfoLimit = 102400;
constexpr size_t kLeafLimit = 1u << 20;
constexpr size_t kTailLength = 1024;

struct XrefEntry {
  int64_t offset = 0;
  int generation = 0;
  bool inUse = false;
};

struct LoadedObject {
  int number = 0, generation = 0;
  int64_t offset = 0;
  Value value;
  bool stream = false;
  std::string text; // header through endobj, when asked for
};

class Reader {
public:
  Reader(Source& src, ExistingDocument& out) : src_(src), sc_(src), out_(out), t_(out.target) {}

  bool Run() {
    size_ = src_.Size();
    t_.fileLength = size_;
    if (size_ <= 0) return Fail("the file is empty");
    uint8_t last = 0;
    src_.ReadAt(size_ - 1, &last, 1);
    t_.needsLineEnd = last != '\r' && last != '\n';
    return FindStartXref() && ReadSections() && ReadEncryption() && ReadInfo() && ReadCatalog() &&
           ReadPageTree();
  }

private:
  bool Fail(const char* why) {
    if (out_.error.empty()) out_.error = why;
    return false;
  }

  bool FindStartXref() {
    size_t n = static_cast<size_t>(std::min<int64_t>(size_, kTailLength));
    std::string tail(n, '\0');
    n = src_.ReadAt(size_ - static_cast<int64_t>(n), tail.data(), n);
    tail.resize(n);
    static const char kKey[] = "startxref";
    const size_t keyLen = sizeof kKey - 1;
    if (n < keyLen) return Fail("no startxref");
    for (size_t i = n - keyLen + 1; i-- > 0;) {
      if (strncasecmp(tail.data() + i, kKey, keyLen) != 0) continue;
      size_t p = i + keyLen;
      while (p < n && (tail[p] < '0' || tail[p] > '9'))
        ++p;
      if (p == n) return Fail("startxref without an offset");
      int64_t v = 0;
      size_t digits = 0;
      while (p < n && tail[p] >= '0' && tail[p] <= '9' && digits < 12) {
        v = v * 10 + (tail[p++] - '0');
        ++digits;
      }
      if (v <= 0 || v >= size_) return Fail("startxref points outside the file");
      t_.previousXref = v;
      return true;
    }
    return Fail("no startxref");
  }

  // A run of decimal digits at the scanner, at most maxDigits long (longer runs fail).
  bool ReadDigits(std::string& digits, size_t maxDigits) {
    digits.clear();
    sc_.SkipWhite();
    while (sc_.Peek() >= '0' && sc_.Peek() <= '9') {
      if (digits.size() == maxDigits) return false;
      digits += static_cast<char>(sc_.Get());
    }
    return !digits.empty();
  }

  static int64_t ToInt(std::string_view s) {
    int64_t v = 0;
    for (char c : s)
      v = v * 10 + (c - '0');
    return v;
  }

  bool ReadSections() {
    std::unordered_set<int64_t> seen;
    int64_t offset = t_.previousXref;
    int64_t sizeHighest = -1;
    bool haveRoot = false, haveInfo = false, haveEncrypt = false, haveId = false;
    for (int sections = 0;; ++sections) {
      if (sections >= kMaxSections) return Fail("too many cross-reference sections");
      if (!seen.insert(offset).second) return Fail("cross-reference sections form a loop");
      sc_.Seek(offset, size_);
      Lexer lx(sc_);
      Token head = lx.Next();
      if (head.kind == Tok::kNumber) return Fail("cross-reference streams are not supported");
      if (head.kind != Tok::kKeyword || head.text != "xref")
        return Fail("no cross-reference table at the recorded offset");
      if (!ReadSubsections()) return false;
      // The trailer keyword has been read; its dictionary follows.
      Lexer tl(sc_);
      Parser parser(tl);
      Value trailer;
      if (!parser.ParseValue(trailer, 0) || trailer.kind != Value::kDict)
        return Fail("damaged trailer");
      if (trailer.Get("XRefStm")) return Fail("cross-reference streams are not supported");
      if (sizeHighest < 0) {
        const Value* size = trailer.Get("Size");
        if (!size || !size->IsInt() || size->num < 1 || size->num > kMaxObjectNumber + 1)
          return Fail("trailer without a usable Size");
        sizeHighest = size->num - 1;
      }
      auto takeRef = [&](const char* key, bool& have, int& number) {
        const Value* v = trailer.Get(key);
        if (have || !v) return true;
        if (v->kind != Value::kRef) return false;
        if (v->num < 1 || v->num > kMaxObjectNumber) return false;
        number = static_cast<int>(v->num);
        have = true;
        return true;
      };
      if (!takeRef("Root", haveRoot, t_.rootNumber)) return Fail("the trailer's Root is unusable");
      if (!takeRef("Info", haveInfo, t_.infoNumber)) return Fail("the trailer's Info is unusable");
      if (!takeRef("Encrypt", haveEncrypt, t_.encryptNumber))
        return Fail("the encryption dictionary is not an indirect object");
      const Value* id = trailer.Get("ID");
      if (!haveId && id && id->kind == Value::kArray && !id->items.empty() &&
          id->items[0].kind == Value::kString) {
        haveId = true;
        auto take = [](const Value& v, IdString& s) {
          s.present = true;
          s.hex = v.hex;
          s.raw = v.raw;
          s.bytes = v.text;
        };
        take(id->items[0], out_.firstId);
        if (id->items.size() > 1 && id->items[1].kind == Value::kString)
          take(id->items[1], out_.secondId);
        else
          out_.secondId = out_.firstId;
      }
      const Value* prev = trailer.Get("Prev");
      if (!prev) break;
      if (!prev->IsInt() || prev->num <= 0 || prev->num >= size_)
        return Fail("the trailer's Prev points outside the file");
      offset = prev->num;
    }
    t_.highestObject = static_cast<int>(std::max<int64_t>(sizeHighest, maxInUse_));
    if (t_.rootNumber == 0) return Fail("the trailer names no catalog");
    t_.hasId = out_.firstId.present;
    t_.firstIdHex = out_.firstId.hex;
    t_.firstIdRaw = out_.firstId.raw;
    return true;
  }

  bool ReadSubsections() {
    std::string a, b;
    for (;;) {
      sc_.SkipWhite();
      int c = sc_.Peek();
      if (c == 't' || c == 'T') {
        std::string word;
        while (IsRegular(sc_.Peek()) && word.size() < 8)
          word += static_cast<char>(sc_.Get());
        if (word != "trailer") return Fail("damaged cross-reference table");
        return true;
      }
      if (!ReadDigits(a, 10)) return Fail("damaged cross-reference subsection");
      // The count; a run longer than ten digits is a count glued to the first offset.
      sc_.SkipWhite();
      std::string count;
      while (sc_.Peek() >= '0' && sc_.Peek() <= '9' && count.size() < 24)
        count += static_cast<char>(sc_.Get());
      if (count.empty() || count.size() == 24) return Fail("damaged cross-reference subsection");
      std::string carry;
      if (count.size() > 10) {
        carry = count.substr(count.size() - 10);
        count.resize(count.size() - 10);
        if (count.size() > 10) return Fail("damaged cross-reference subsection");
      }
      int64_t first = ToInt(a), n = ToInt(count);
      int64_t room = (size_ - sc_.pos()) / 18 + 1;
      if (n > room || first + n - 1 > kMaxObjectNumber)
        return Fail("cross-reference subsection runs past the end of the data");
      for (int64_t k = 0; k < n; ++k) {
        std::string off;
        if (!carry.empty()) {
          off.swap(carry);
        } else if (!ReadDigits(off, 10)) {
          return Fail("damaged cross-reference entry");
        }
        if (!ReadDigits(b, 5)) return Fail("damaged cross-reference entry");
        sc_.SkipWhite();
        int type = sc_.Get();
        if (type != 'n' && type != 'f') return Fail("damaged cross-reference entry");
        int number = static_cast<int>(first + k);
        if (number == 0) continue;
        XrefEntry e;
        e.offset = ToInt(off);
        e.generation = static_cast<int>(ToInt(b));
        e.inUse = type == 'n';
        // The newest section lists an object first and wins.
        if (xref_.emplace(number, e).second && e.inUse) maxInUse_ = std::max(maxInUse_, number);
      }
    }
  }

  bool Load(int number, size_t limit, LoadedObject& o, bool keepText) {
    auto it = xref_.find(number);
    if (it == xref_.end() || !it->second.inUse) return Fail("a needed object is missing");
    const XrefEntry& e = it->second;
    if (e.offset <= 0 || e.offset >= size_) return Fail("an object's offset is outside the file");
    sc_.Seek(e.offset, e.offset + static_cast<int64_t>(limit));
    Lexer lx(sc_);
    Token n = lx.Next(), g = lx.Next(), obj = lx.Next();
    if (n.kind != Tok::kNumber || !n.integer || n.ivalue != number || g.kind != Tok::kNumber ||
        !g.integer || g.ivalue != e.generation || obj.kind != Tok::kKeyword || obj.text != "obj")
      return Fail("an object is not where the cross-reference table says");
    Parser parser(lx);
    o.value = Value();
    if (!parser.ParseValue(o.value, 0)) return Fail("damaged or oversized object");
    Token end = lx.Next();
    if (end.kind != Tok::kKeyword || (end.text != "endobj" && end.text != "stream"))
      return Fail("an object does not end with endobj");
    o.number = number;
    o.generation = e.generation;
    o.offset = e.offset;
    o.stream = end.text == "stream";
    if (keepText) {
      if (o.stream) return Fail("a stream where a dictionary is expected");
      size_t len = static_cast<size_t>(end.end - e.offset);
      o.text.assign(len, '\0');
      if (src_.ReadAt(e.offset, o.text.data(), len) != len) return Fail("read error");
    }
    return true;
  }

  // The value itself, or the object a reference names.
  bool Resolve(const Value& v, size_t limit, Value& out) {
    if (v.kind != Value::kRef) {
      out = v;
      return true;
    }
    LoadedObject o;
    if (v.num < 1 || v.num > kMaxObjectNumber || !Load(static_cast<int>(v.num), limit, o, false))
      return false;
    out = std::move(o.value);
    return true;
  }

  bool ReadEncryption() {
    if (t_.encryptNumber == 0) return true;
    LoadedObject o;
    if (!Load(t_.encryptNumber, kEncryptLimit, o, false)) return false;
    const Value& d = o.value;
    if (d.kind != Value::kDict) return Fail("damaged encryption dictionary");
    t_.encryptGeneration = o.generation;
    const Value* filter = d.Get("Filter");
    if (!filter || filter->kind != Value::kName || filter->text != "Standard")
      return Fail("encryption other than the standard password handler");
    // Crypt filters mean AES or other methods; only the RC4 variants are ours.
    if (d.Get("CF") || d.Get("StmF") || d.Get("StrF")) return Fail("encryption other than RC4");
    const Value* v = d.Get("V");
    const Value* r = d.Get("R");
    int64_t version = v && v->IsInt() ? v->num : 0;
    if (version < 0 || version > 2) return Fail("encryption other than RC4");
    if (!r || !r->IsInt() || (r->num != 2 && r->num != 3))
      return Fail("unsupported security handler revision");
    pdf::SecurityParams p;
    p.revision = static_cast<int>(r->num);
    const Value* length = d.Get("Length");
    p.keyLength = 5;
    if (p.revision == 3 && length && length->IsInt() && length->num >= 40 && length->num <= 128 &&
        length->num % 8 == 0)
      p.keyLength = static_cast<int>(length->num / 8);
    const Value* perms = d.Get("P");
    if (!perms || !perms->IsInt()) return Fail("encryption dictionary without P");
    p.permissions = static_cast<int32_t>(static_cast<uint32_t>(perms->num));
    const Value* ov = d.Get("O");
    const Value* uv = d.Get("U");
    if (!ov || !uv || ov->kind != Value::kString || uv->kind != Value::kString ||
        ov->text.size() < 32 || uv->text.size() < 32)
      return Fail("encryption dictionary without usable O and U");
    std::memcpy(p.ownerValue, ov->text.data(), 32);
    std::memcpy(p.userValue, uv->text.data(), 32);
    p.fileId.assign(out_.firstId.bytes.begin(), out_.firstId.bytes.end());
    out_.security = pdf::StandardSecurity::Authenticate(p, "");
    if (!out_.security) return Fail("the file needs a password");
    return true;
  }

  bool ReadInfo() {
    if (t_.infoNumber == 0) return true;
    LoadedObject o;
    if (!Load(t_.infoNumber, kInfoLimit, o, false)) return false;
    if (o.value.kind != Value::kDict) return Fail("damaged Info dictionary");
    t_.infoGeneration = o.generation;
    pdf::InfoTexts& info = out_.info;
    struct Slot {
      const char* key;
      std::string* text;
    } slots[] = {{"Title", &info.texts[0]},           {"Author", &info.texts[2]},
                 {"Subject", &info.texts[1]},         {"Keywords", &info.texts[3]},
                 {"Creator", &info.texts[4]},         {"Producer", &info.producer},
                 {"CreationDate", &info.creationDate}};
    for (const Slot& s : slots) {
      const Value* v = o.value.Get(s.key);
      if (!v || v->kind != Value::kString) continue;
      std::string bytes = v->text;
      if (out_.security)
        out_.security->CryptObjectData(o.number, o.generation,
                                       reinterpret_cast<uint8_t*>(bytes.data()), bytes.size());
      *s.text = std::move(bytes);
    }
    const Value* trapped = o.value.Get(pdf::names::kTrappedKey);
    if (trapped && trapped->kind == Value::kName &&
        (trapped->text == "True" || trapped->text == "False" || trapped->text == "Unknown"))
      info.custom.push_back({pdf::names::kTrappedKey, trapped->text});
    return true;
  }

  pdf::TextSpan EntrySpan(const LoadedObject& o, const char* key) {
    pdf::TextSpan s;
    const Value* v = o.value.Get(key);
    if (!v) return s;
    s.begin = static_cast<size_t>(o.value.KeyBegin(key) - o.offset);
    s.end = static_cast<size_t>(v->end - o.offset);
    s.found = true;
    return s;
  }

  bool ReadCatalog() {
    LoadedObject o;
    if (!Load(t_.rootNumber, kNodeLimit, o, true)) return false;
    if (o.value.kind != Value::kDict) return Fail("damaged catalog");
    const Value* pages = o.value.Get("Pages");
    if (!pages || pages->kind != Value::kRef || pages->num < 1 || pages->num > kMaxObjectNumber)
      return Fail("the catalog has no page tree");
    t_.catalog = {o.number, o.generation, o.text};
    t_.openAction = EntrySpan(o, "OpenAction");
    t_.pageMode = EntrySpan(o, "PageMode");
    t_.viewerPreferences = EntrySpan(o, "ViewerPreferences");
    t_.catalogDictEnd = static_cast<size_t>(o.value.end - 2 - o.offset);
    pagesNumber_ = static_cast<int>(pages->num);
    return true;
  }

  bool ReadPageTree() {
    LoadedObject root;
    if (!Load(pagesNumber_, kNodeLimit, root, true)) return false;
    if (root.value.kind != Value::kDict) return Fail("damaged page-tree root");
    const Value* count = root.value.Get("Count");
    const Value* kids = root.value.Get("Kids");
    if (!count || !count->IsInt() || count->num < 0 || count->num > kMaxObjectNumber)
      return Fail("the page-tree root has no usable Count");
    if (!kids) return Fail("the page-tree root has no Kids");
    t_.pages = {root.number, root.generation, root.text};
    t_.countValue = {static_cast<size_t>(count->begin - root.offset),
                     static_cast<size_t>(count->end - root.offset), true};
    t_.rootCount = static_cast<int>(count->num);
    Value kidsArray;
    if (kids->kind == Value::kArray) {
      t_.kidsInsert = static_cast<size_t>(kids->end - 1 - root.offset);
      kidsArray = *kids;
    } else if (kids->kind == Value::kRef && kids->num >= 1 && kids->num <= kMaxObjectNumber) {
      LoadedObject a;
      if (!Load(static_cast<int>(kids->num), kNodeLimit, a, true)) return false;
      if (a.value.kind != Value::kArray) return Fail("the page-tree root's Kids is not an array");
      t_.kidsArray = {a.number, a.generation, a.text};
      t_.kidsInsert = static_cast<size_t>(a.value.end - 1 - a.offset);
      kidsArray = std::move(a.value);
    } else {
      return Fail("the page-tree root's Kids is not an array");
    }
    // The objects the update rewrites must be distinct, and none of them can be a page.
    int kidsNumber = t_.kidsArray.number;
    if (pagesNumber_ == t_.rootNumber || pagesNumber_ == t_.infoNumber ||
        t_.infoNumber == t_.rootNumber ||
        (kidsNumber != 0 && (kidsNumber == t_.rootNumber || kidsNumber == pagesNumber_ ||
                             kidsNumber == t_.infoNumber)))
      return Fail("the catalog, page-tree root and Info dictionary overlap");
    for (int n : {pagesNumber_, t_.rootNumber, t_.infoNumber, t_.encryptNumber, kidsNumber})
      if (n != 0) visited_.insert(n);
    if (!WalkKids(kidsArray, 1)) return false;
    t_.pageCount = static_cast<int>(t_.pageObjects.size());
    return true;
  }

  bool WalkKids(const Value& kids, int depth) {
    if (depth > kMaxTreeDepth) return Fail("the page tree is too deep");
    for (const Value& kid : kids.items) {
      if (kid.kind != Value::kRef) continue;
      if (kid.num < 1 || kid.num > kMaxObjectNumber) return Fail("damaged page tree");
      int number = static_cast<int>(kid.num);
      if (!visited_.insert(number).second) return Fail("the page tree refers back to itself");
      LoadedObject node;
      if (!Load(number, kLeafLimit, node, false)) return false;
      if (node.value.kind != Value::kDict) return Fail("damaged page tree");
      if (const Value* sub = node.value.Get("Kids")) {
        Value array;
        if (!Resolve(*sub, kNodeLimit, array)) return false;
        if (array.kind != Value::kArray) return Fail("damaged page tree");
        if (!WalkKids(array, depth + 1)) return false;
        continue;
      }
      t_.pageObjects.push_back(number);
      t_.pageGenerations.push_back(node.generation);
      if (!ScanResources(node.value)) return false;
    }
    return true;
  }

  // Raises the resource-name counters past the numbers of our own name forms.
  bool ScanResources(const Value& page) {
    const Value* res = page.Get("Resources");
    if (!res) return true;
    Value dict;
    if (res->kind == Value::kRef) {
      if (!scannedResources_.insert(res->num).second) return true;
      if (!Resolve(*res, kLeafLimit, dict)) return false;
    } else {
      dict = *res;
    }
    if (dict.kind != Value::kDict) return true;
    struct Kind {
      const char* key;
      const char* prefix;
      int* counter;
    } kinds[] = {{"Font", "F", &out_.nextFont},
                 {"ColorSpace", "CS", &out_.nextColourSpace},
                 {"Pattern", "P", &out_.nextPattern},
                 {"XObject", "I", &out_.nextImage}};
    for (const Kind& k : kinds) {
      const Value* sub = dict.Get(k.key);
      if (!sub) continue;
      Value names;
      if (sub->kind == Value::kRef) {
        if (!scannedResources_.insert(sub->num).second) continue;
        if (!Resolve(*sub, kLeafLimit, names)) return false;
      } else {
        names = *sub;
      }
      if (names.kind != Value::kDict) continue;
      size_t plen = std::strlen(k.prefix);
      for (const std::string& name : names.keys) {
        if (name.size() <= plen || name.size() > plen + 9 || name.compare(0, plen, k.prefix) != 0)
          continue;
        bool digits = true;
        for (size_t i = plen; i < name.size(); ++i)
          digits = digits && name[i] >= '0' && name[i] <= '9';
        if (!digits) continue;
        int n = static_cast<int>(ToInt(std::string_view(name).substr(plen)));
        if (n >= *k.counter) *k.counter = n + 1;
      }
    }
    return true;
  }

  Source& src_;
  Scanner sc_;
  ExistingDocument& out_;
  pdf::AppendTarget& t_;
  int64_t size_ = 0;
  std::unordered_map<int, XrefEntry> xref_;
  int maxInUse_ = 0;
  int pagesNumber_ = 0;
  std::unordered_set<int> visited_;
  std::unordered_set<int64_t> scannedResources_;
};

} // namespace

bool ReadExistingDocument(Source& source, ExistingDocument& out) {
  Reader r(source, out);
  return r.Run();
}

} // namespace reader
