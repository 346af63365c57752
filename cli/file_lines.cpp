#include "cli/file_lines.h"

#include <cstdio>

#include "engine/path_separator.h"

namespace cli {

namespace {

// "Music/" and "Music/." name what "Music" names; "./" what "." does.
std::string withoutClosingParts(std::string typed) {
  for (;;) {
    if (typed.size() > 1 && typed.back() == '/') {
      typed.pop_back();
    } else if (typed.size() > 2 && typed.ends_with("/.")) {
      typed.resize(typed.size() - 2);
    } else {
      return typed;
    }
  }
}

// Whether absolute leads text, and is followed there by what may follow a path in our lines.
bool leads(const std::string& absolute, const std::string& text) {
  if (absolute.empty() || absolute == "/" || !text.starts_with(absolute)) return false;
  const std::string_view after = std::string_view(text).substr(absolute.size());
  return after.empty() || after.front() == '/' || after.starts_with(": ");
}

// The UTF-8 lead bytes of printable characters: for each run of leads, the range its second
// byte must fall in (narrower where it would give an overlong form, a surrogate, a C1 control
// or a code point past U+10FFFF) and the character's length in bytes.
struct LeadBytes {
  unsigned first;
  unsigned last;
  unsigned secondLow;
  unsigned secondHigh;
  std::size_t length;
};
constexpr LeadBytes kLeadBytes[] = {
    {0xC2, 0xC2, 0xA0, 0xBF, 2}, {0xC3, 0xDF, 0x80, 0xBF, 2}, {0xE0, 0xE0, 0xA0, 0xBF, 3},
    {0xE1, 0xEC, 0x80, 0xBF, 3}, {0xED, 0xED, 0x80, 0x9F, 3}, {0xEE, 0xEF, 0x80, 0xBF, 3},
    {0xF0, 0xF0, 0x90, 0xBF, 4}, {0xF1, 0xF3, 0x80, 0xBF, 4}, {0xF4, 0xF4, 0x80, 0x8F, 4},
};

// The length of the UTF-8 character of a printable character at text[at], or 0 for a byte that
// does not begin one: a stray or overlong byte, a surrogate, a C1 control (U+0080 to U+009F,
// which some terminals take as the start of a command).
std::size_t printableCharacterLength(const std::string& text, std::size_t at) {
  const auto byte = [&text](std::size_t index) {
    return index < text.size() ? static_cast<unsigned char>(text[index]) : 0u;
  };
  const unsigned lead = byte(at);
  for (const LeadBytes& leads : kLeadBytes) {
    if (lead < leads.first || lead > leads.last) continue;
    if (byte(at + 1) < leads.secondLow || byte(at + 1) > leads.secondHigh) return 0;
    for (std::size_t next = 2; next < leads.length; ++next) {
      if (byte(at + next) < 0x80 || byte(at + next) > 0xBF) return 0;
    }
    return leads.length;
  }
  return 0;
}

}  // namespace

std::string printable(const std::string& text) {
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte >= 0x20 && byte < 0x7F) {
      // Where the backslash separates folders it is no escape.
      if (byte == '\\' && engine::kPathSeparator != '\\') shown += '\\';
      shown += text[at++];
      continue;
    }
    if (const std::size_t length = byte >= 0x80 ? printableCharacterLength(text, at) : 0) {
      shown.append(text, at, length);
      at += length;
      continue;
    }
    static constexpr char kNamed[] = "abtnvfr";
    if (byte >= '\a' && byte <= '\r') {
      shown += '\\';
      shown += kNamed[byte - '\a'];
    } else {
      char octal[5];
      std::snprintf(octal, sizeof octal, "\\%03o", byte);
      shown += octal;
    }
    ++at;
  }
  return shown;
}

std::string shownPath(const std::vector<GivenPath>& given, const std::string& text) {
  const GivenPath* leading = nullptr;
  for (const GivenPath& path : given) {
    if (leads(path.absolute, text) &&
        (!leading || path.absolute.size() > leading->absolute.size())) {
      leading = &path;
    }
  }
  if (!leading) return printable(text);
  const std::string typed = withoutClosingParts(leading->typed);
  const std::string rest = text.substr(leading->absolute.size());
  if (typed == "." && rest.starts_with('/')) return printable(rest.substr(1));
  return printable(typed + rest);
}

std::string endedLine(const std::string& shownName, batch::EntryOutcome outcome) {
  switch (outcome) {
    case batch::EntryOutcome::Processed:
      return shownName + ": processed";
    case batch::EntryOutcome::Analyzed:
      return shownName + ": analyzed";
    case batch::EntryOutcome::UpToDate:
      return shownName + ": skipped, its results are up to date";
    case batch::EntryOutcome::NotMusic:
      return shownName + ": not music";
    case batch::EntryOutcome::Skipped:
    case batch::EntryOutcome::Failed:
    case batch::EntryOutcome::Stopped:
      break;
  }
  return {};
}

}  // namespace cli
