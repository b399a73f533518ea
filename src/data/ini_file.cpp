#include "data/ini_file.hpp"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <optional>
#include <vector>

#include "data/file_io.hpp"
#include "data/file_stamp.hpp"
#include "data/text_encoding.hpp"

namespace tavro::data {
namespace {

// One physical line of the file and the line break that ended it ("" for a
// last line without one), so a rewrite reproduces every untouched line.
struct Line {
  std::string text;
  std::string eol;
};

struct Document {
  std::vector<Line> lines;
  bool utf8Bom = false;
};

enum class LineKind { kOther, kComment, kSection, kKey };

// What a line means: a section header with its name, or a key line with its
// key and value, blanks already trimmed.
struct Parsed {
  LineKind kind = LineKind::kOther;
  std::string_view name;
  std::string_view value;
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front()))
    s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back()))
    s.remove_suffix(1);
  return s;
}

char FoldAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i]))
      return false;
  }
  return true;
}

Parsed ParseLine(std::string_view raw) {
  const std::string_view line = Trim(raw);
  Parsed p;
  if (line.empty())
    return p;
  if (line.front() == ';') {
    p.kind = LineKind::kComment;
  } else if (line.front() == '[') {
    const std::size_t close = line.find(']');
    p.kind = LineKind::kSection;
    p.name =
        Trim(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
  } else {
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos || eq == 0)
      return p;
    p.kind = LineKind::kKey;
    p.name = Trim(line.substr(0, eq));
    p.value = Trim(line.substr(eq + 1));
    if (p.name.empty())
      p.kind = LineKind::kOther;
  }
  return p;
}

// A value written inside one pair of matching quotes is read without them,
// as the desktop's private-profile facility does.
std::string_view Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    return v.substr(1, v.size() - 2);
  }
  return v;
}

// UTF-16LE (with its byte order mark) becomes UTF-8; a UTF-8 mark is noted
// so a rewrite keeps it; anything else is taken as UTF-8 bytes.
std::string DecodeText(const std::vector<std::uint8_t>& bytes, bool& utf8Bom) {
  utf8Bom = false;
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    return Utf16LeBytesToUtf8(std::span<const std::uint8_t>(bytes).subspan(2));
  }
  std::size_t start = 0;
  if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    utf8Bom = true;
    start = 3;
  }
  return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(start), bytes.end());
}

std::vector<Line> SplitLines(const std::string& text) {
  std::vector<Line> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t nl = text.find('\n', pos);
    if (nl == std::string::npos) {
      lines.push_back({text.substr(pos), ""});
      break;
    }
    const bool crlf = nl > pos && text[nl - 1] == '\r';
    const std::size_t end = crlf ? nl - 1 : nl;
    lines.push_back({text.substr(pos, end - pos), crlf ? "\r\n" : "\n"});
    pos = nl + 1;
  }
  return lines;
}

// The file with every line as it is, for a rewrite. A missing file is an
// empty document; an existing one that cannot be read is nullopt: it must
// not be replaced by one holding just the new key.
std::optional<Document> LoadForRewrite(const std::string& path) {
  Document doc;
  const auto bytes = ReadWholeFile(path);
  if (!bytes) {
    if (FileExists(path))
      return std::nullopt;
    return doc;
  }
  doc.lines = SplitLines(DecodeText(*bytes, doc.utf8Bom));
  return doc;
}

// Index of the first header line of `section`, or nullopt.
std::optional<std::size_t> FindSection(const Document& doc, std::string_view section) {
  for (std::size_t i = 0; i < doc.lines.size(); ++i) {
    const Parsed p = ParseLine(doc.lines[i].text);
    if (p.kind == LineKind::kSection && SameName(p.name, section))
      return i;
  }
  return std::nullopt;
}

// Calls `visit(index, parsed)` for each key line of the section whose header
// is at `header`, up to the next section header.
template <typename Visit>
void ForEachKeyLine(const Document& doc, std::size_t header, Visit visit) {
  for (std::size_t i = header + 1; i < doc.lines.size(); ++i) {
    const Parsed p = ParseLine(doc.lines[i].text);
    if (p.kind == LineKind::kSection)
      return;
    if (p.kind == LineKind::kKey && !visit(i, p))
      return;
  }
}

bool HasLineBreak(std::string_view s) {
  return s.find_first_of("\r\n") != std::string_view::npos;
}

// What a read needs of the file. Only the first section of a name and the
// first key of a name within it are found, as with a scan from the top of
// the file; a linear search over the parsed names is quicker than building
// a map for files of this size.
struct Index {
  struct Key {
    std::string name;
    std::string value;  // trimmed and unquoted
  };
  struct Section {
    std::string name;
    std::vector<Key> keys;

    const Key* Find(std::string_view key) const {
      key = Trim(key);
      for (const Key& k : keys) {
        if (SameName(k.name, key))
          return &k;
      }
      return nullptr;
    }
  };
  std::vector<Section> sections;

  const Section* Find(std::string_view name) const {
    name = Trim(name);
    for (const Section& s : sections) {
      if (SameName(s.name, name))
        return &s;
    }
    return nullptr;
  }
};

Index BuildIndex(const Document& doc) {
  Index index;
  for (const Line& line : doc.lines) {
    const Parsed p = ParseLine(line.text);
    if (p.kind == LineKind::kSection) {
      index.sections.push_back({std::string(p.name), {}});
    } else if (p.kind == LineKind::kKey && !index.sections.empty()) {
      // Keys above the first section belong to none.
      index.sections.back().keys.push_back({std::string(p.name), std::string(Unquote(p.value))});
    }
  }
  return index;
}

// True when a later change is bound to alter the stamp: the file's last
// change lies more than kSettleSeconds before `readStart`. A more recent
// one may share its times with a change still to come.
bool Settled(const FileStamp& stamp, const StampTime& readStart) {
  const StampTime last = std::max(stamp.modified, stamp.changed);
  StampTime limit = readStart;
  limit.sec -= CIni::kSettleSeconds;
  return last < limit;
}

}  // namespace

// The file as parsed at one read, shared by the objects copied from the one
// that read it.
struct CIni::Snapshot {
  FileStamp stamp;
  bool settled = false;
  std::vector<std::uint8_t> bytes;  // recognises an unchanged file read again
  std::shared_ptr<const Index> index;
};

CIni::CIni(const CIni& other) {
  const std::lock_guard<std::mutex> lock(other.mutex_);
  path_ = other.path_;
  cache_ = other.cache_;
}

CIni& CIni::operator=(const CIni& other) {
  if (this == &other)
    return *this;
  std::shared_ptr<const Snapshot> cache;
  std::string path;
  {
    const std::lock_guard<std::mutex> lock(other.mutex_);
    path = other.path_;
    cache = other.cache_;
  }
  const std::lock_guard<std::mutex> lock(mutex_);
  path_ = std::move(path);
  cache_ = std::move(cache);
  return *this;
}

void CIni::Bind(std::string path) {
  const std::lock_guard<std::mutex> lock(mutex_);
  path_ = std::move(path);
  cache_.reset();
}

std::uint64_t CIni::FileReads() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return fileReads_;
}

std::shared_ptr<const CIni::Snapshot> CIni::Current() const {
  static const auto kEmpty = [] {
    auto empty = std::make_shared<Snapshot>();
    empty->index = std::make_shared<Index>();
    return std::shared_ptr<const Snapshot>(std::move(empty));
  }();
  const std::lock_guard<std::mutex> lock(mutex_);
  if (path_.empty())
    return kEmpty;
  // Taken before the file is looked at: whatever was written before this
  // instant is in the bytes read below.
  const StampTime readStart = StampNow();
  const std::optional<FileStamp> stamp = StampOf(path_);
  if (!stamp) {
    cache_.reset();
    return kEmpty;
  }
  if (cache_ && cache_->settled && cache_->stamp == *stamp)
    return cache_;

  auto bytes = ReadWholeFile(path_);
  ++fileReads_;
  if (!bytes) {
    cache_.reset();
    return kEmpty;
  }
  // The stamp was taken before the read: a change during the read leaves
  // the file with another stamp, so it is read again next time.
  auto next = std::make_shared<Snapshot>();
  next->stamp = *stamp;
  next->settled = Settled(*stamp, readStart);
  if (cache_ && cache_->bytes == *bytes) {
    next->index = cache_->index;
  } else {
    Document doc;
    doc.lines = SplitLines(DecodeText(*bytes, doc.utf8Bom));
    next->index = std::make_shared<const Index>(BuildIndex(doc));
  }
  next->bytes = std::move(*bytes);
  cache_ = std::move(next);
  return cache_;
}

std::string CIni::GetString(std::string_view section, std::string_view key,
                            std::string_view def) const {
  const auto snapshot = Current();
  const Index::Section* found = snapshot->index->Find(section);
  if (found == nullptr)
    return std::string(def);
  const Index::Key* value = found->Find(key);
  return value == nullptr ? std::string(def) : value->value;
}

std::vector<std::string> CIni::GetSectionNames() const {
  const auto snapshot = Current();
  std::vector<std::string> names;
  names.reserve(snapshot->index->sections.size());
  for (const Index::Section& section : snapshot->index->sections)
    names.push_back(section.name);
  return names;
}

std::vector<std::string> CIni::GetKeyNames(std::string_view section) const {
  const auto snapshot = Current();
  std::vector<std::string> keys;
  const Index::Section* found = snapshot->index->Find(section);
  if (found == nullptr)
    return keys;
  keys.reserve(found->keys.size());
  for (const Index::Key& key : found->keys)
    keys.push_back(key.name);
  return keys;
}

bool CIni::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  // Names or values that would break the line structure are refused rather
  // than written as extra lines or a different key.
  if (path_.empty() || section.empty() || key.empty() || HasLineBreak(section) ||
      HasLineBreak(key) || HasLineBreak(value) || section.find(']') != std::string_view::npos ||
      key.find('=') != std::string_view::npos || key.front() == ';' || key.front() == '[') {
    return false;
  }

  // A file saved as UTF-16 is written back as UTF-8: every reader of the
  // tool accepts both, and UTF-8 keeps one code path for writing.
  std::optional<Document> loaded = LoadForRewrite(path_);
  if (!loaded)
    return false;
  Document& doc = *loaded;
  std::string eol = "\r\n";
  for (const Line& line : doc.lines) {
    if (!line.eol.empty()) {
      eol = line.eol;
      break;
    }
  }
  const std::string keyLine = std::string(key) + "=" + std::string(value);
  auto insertAt = [&](std::size_t index, std::string text) {
    // The line before the new one needs a break if it was the last line.
    if (index > 0 && doc.lines[index - 1].eol.empty())
      doc.lines[index - 1].eol = eol;
    doc.lines.insert(doc.lines.begin() + static_cast<std::ptrdiff_t>(index),
                     Line{std::move(text), eol});
  };

  const auto header = FindSection(doc, section);
  if (!header) {
    std::string sectionLine(1, '[');
    sectionLine.append(section).push_back(']');
    insertAt(doc.lines.size(), std::move(sectionLine));
    insertAt(doc.lines.size(), keyLine);
  } else {
    std::optional<std::size_t> existing;
    ForEachKeyLine(doc, *header, [&](std::size_t i, const Parsed& p) {
      if (!SameName(p.name, key))
        return true;
      existing = i;
      return false;
    });
    if (existing) {
      doc.lines[*existing].text = keyLine;
    } else {
      // After the section's last non-blank line, so blank lines that
      // separate it from the next section stay in place.
      std::size_t end = *header + 1;
      while (end < doc.lines.size() && ParseLine(doc.lines[end].text).kind != LineKind::kSection) {
        ++end;
      }
      while (end > *header + 1 && Trim(doc.lines[end - 1].text).empty())
        --end;
      insertAt(end, keyLine);
    }
  }

  // A UTF-16 file whose text itself begins with U+FEFF keeps that character
  // as text: in UTF-8 it needs a mark in front, or the next read would take
  // it for the mark and the first line would change its meaning.
  const bool textStartsWithMark =
      !doc.lines.empty() && doc.lines.front().text.compare(0, 3, "\xEF\xBB\xBF") == 0;
  std::vector<std::uint8_t> bytes;
  if (doc.utf8Bom || textStartsWithMark)
    bytes = {0xEF, 0xBB, 0xBF};
  for (const Line& line : doc.lines) {
    bytes.insert(bytes.end(), line.text.begin(), line.text.end());
    bytes.insert(bytes.end(), line.eol.begin(), line.eol.end());
  }
  const bool written = WriteFileAtomic(path_, bytes);
  // Not left to the stamp check: the next read takes the file as written.
  const std::lock_guard<std::mutex> lock(mutex_);
  cache_.reset();
  return written;
}

}  // namespace tavro::data
