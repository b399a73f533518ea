#include "data/ini_file.hpp"

#include <cstdint>
#include <optional>
#include <vector>

#include "data/file_io.hpp"
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

// For reading, a missing or unreadable file is an empty document. For a
// rewrite only a missing one is: an existing file that cannot be read must
// not be replaced by one holding just the new key.
std::optional<Document> Load(const std::string& path, bool forRewrite = false) {
  Document doc;
  if (path.empty())
    return doc;
  const auto bytes = ReadWholeFile(path);
  if (!bytes) {
    if (forRewrite && FileExists(path))
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

}  // namespace

std::string CIni::GetString(std::string_view section, std::string_view key,
                            std::string_view def) const {
  const Document doc = Load(path_).value_or(Document{});
  const auto header = FindSection(doc, Trim(section));
  if (!header)
    return std::string(def);
  std::optional<std::string> found;
  ForEachKeyLine(doc, *header, [&](std::size_t, const Parsed& p) {
    if (!SameName(p.name, Trim(key)))
      return true;
    found = std::string(Unquote(p.value));
    return false;  // the first occurrence wins
  });
  return found ? *found : std::string(def);
}

std::vector<std::string> CIni::GetSectionNames() const {
  const Document doc = Load(path_).value_or(Document{});
  std::vector<std::string> names;
  for (const Line& line : doc.lines) {
    const Parsed p = ParseLine(line.text);
    if (p.kind == LineKind::kSection)
      names.emplace_back(p.name);
  }
  return names;
}

std::vector<std::string> CIni::GetKeyNames(std::string_view section) const {
  const Document doc = Load(path_).value_or(Document{});
  std::vector<std::string> keys;
  const auto header = FindSection(doc, Trim(section));
  if (!header)
    return keys;
  ForEachKeyLine(doc, *header, [&](std::size_t, const Parsed& p) {
    keys.emplace_back(p.name);
    return true;
  });
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
  std::optional<Document> loaded = Load(path_, true);
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

  std::vector<std::uint8_t> bytes;
  if (doc.utf8Bom)
    bytes = {0xEF, 0xBB, 0xBF};
  for (const Line& line : doc.lines) {
    bytes.insert(bytes.end(), line.text.begin(), line.text.end());
    bytes.insert(bytes.end(), line.eol.begin(), line.eol.end());
  }
  return WriteFileAtomic(path_, bytes);
}

}  // namespace tavro::data
