#include "cli/file_lines.h"

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

}  // namespace

std::string shownPath(const std::vector<GivenPath>& given, const std::string& text) {
  const GivenPath* leading = nullptr;
  for (const GivenPath& path : given) {
    if (leads(path.absolute, text) &&
        (!leading || path.absolute.size() > leading->absolute.size())) {
      leading = &path;
    }
  }
  if (!leading) return text;
  const std::string typed = withoutClosingParts(leading->typed);
  const std::string rest = text.substr(leading->absolute.size());
  if (typed == "." && rest.starts_with('/')) return rest.substr(1);
  return typed + rest;
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
