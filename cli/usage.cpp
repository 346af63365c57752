#include "cli/usage.h"

#include <wx/msgout.h>

#include <algorithm>

#include "batch/native_path.h"

namespace cli {

namespace {

std::vector<std::string> longOptions(const wxCmdLineEntryDesc* table) {
  std::vector<std::string> names;
  for (const wxCmdLineEntryDesc* entry = table; entry->kind != wxCMD_LINE_NONE; ++entry) {
    if (entry->longName && *entry->longName) names.emplace_back(entry->longName);
  }
  return names;
}

// Insertions, deletions, substitutions and swaps of neighbours between a and b.
std::size_t typingSlips(const std::string& a, const std::string& b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

// Takes what the toolkit would print about a command line it cannot parse.
class MessageCapture final : public wxMessageOutput {
 public:
  void Output(const wxString& text) override { text_ += text; }
  const wxString& text() const { return text_; }

 private:
  wxString text_;
};

// The option list's descriptions in one column again, the value names being shorter than the
// types the toolkit padded for.
std::string aligned(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t widest = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  auto optionPart = [](const std::string& line) {
    std::string left = line.substr(0, line.find('\t'));
    left.erase(left.find_last_not_of(' ') + 1);
    return left;
  };
  for (const std::string& line : lines) {
    if (line.find('\t') != std::string::npos) widest = std::max(widest, optionPart(line).size());
  }
  std::string result;
  for (const std::string& line : lines) {
    const std::size_t tab = line.find('\t');
    if (tab == std::string::npos) {
      result += line + "\n";
      continue;
    }
    const std::string left = optionPart(line);
    result += left + std::string(widest + 2 - left.size(), ' ') + line.substr(tab + 1) + "\n";
  }
  return result;
}

// Text with the toolkit's placeholder ("<str>", "<num>") after each lead replaced by value.
std::string withValueName(std::string text, const std::string& lead, const std::string& value) {
  for (std::size_t at = text.find(lead); at != std::string::npos; at = text.find(lead, at)) {
    at += lead.size();
    std::size_t end = at + 1;
    while (end < text.size() && text[end] >= 'a' && text[end] <= 'z') ++end;
    if (at < text.size() && text[at] == '<' && end > at + 1 && end < text.size() &&
        text[end] == '>') {
      text.replace(at, end + 1 - at, value);
      at += value.size();
    }
  }
  return text;
}

}  // namespace

std::string helpText(const wxCmdLineParser& parser, const std::vector<ValueName>& valueNames) {
  std::string text = batch::toNativePath(parser.GetUsageString());
  for (const ValueName& name : valueNames) {
    // "--output=<str>" in the list, "[--output <str>]" in the usage line.
    const std::string option = "--" + std::string(name.option);
    text = withValueName(withValueName(text, option + "=", name.value), option + " ", name.value);
    if (name.shortName) {
      text = withValueName(text, "[-" + std::string(name.shortName) + " ", name.value);
    }
  }
  return aligned(text);
}

std::string unknownLongOption(const std::vector<std::string>& arguments,
                              const wxCmdLineEntryDesc* table) {
  const std::vector<std::string> known = longOptions(table);
  for (const std::string& argument : arguments) {
    if (argument == "--") break;
    if (argument.size() <= 2 || argument.compare(0, 2, "--") != 0) continue;
    const std::string name = argument.substr(2, argument.find('=') - 2);
    if (std::find(known.begin(), known.end(), name) == known.end()) return "--" + name;
  }
  return "";
}

std::string closestLongOption(const std::string& typed, const wxCmdLineEntryDesc* table) {
  const std::string name = typed.compare(0, 2, "--") == 0 ? typed.substr(2) : typed;
  if (name.empty()) return "";
  const std::vector<std::string> known = longOptions(table);
  std::vector<std::string> begun;
  std::copy_if(known.begin(), known.end(), std::back_inserter(begun),
               [&name](const std::string& option) { return option.rfind(name, 0) == 0; });
  if (begun.size() == 1) return "--" + begun.front();
  // A slip a word of four letters may take, and one more for each four letters after.
  const std::size_t allowed = 1 + name.size() / 4;
  std::string closest;
  std::size_t fewest = allowed + 1;
  for (const std::string& option : known) {
    const std::size_t slips = typingSlips(name, option);
    if (slips < fewest) {
      fewest = slips;
      closest = option;
    }
  }
  return closest.empty() ? "" : "--" + closest;
}

int parseQuietly(wxCmdLineParser& parser, std::string& message) {
  auto* capture = new MessageCapture;
  wxMessageOutput* const shown = wxMessageOutput::Set(capture);
  const int parsed = parser.Parse(false);
  wxMessageOutput::Set(shown);
  message = batch::toNativePath(capture->text());
  delete capture;
  // One line, in the command's voice: "option 'jobs' requires a value".
  message.erase(std::find(message.begin(), message.end(), '\n'), message.end());
  if (!message.empty() && message.back() == '.') message.pop_back();
  if (!message.empty() && message.front() >= 'A' && message.front() <= 'Z') {
    message.front() = static_cast<char>(message.front() - 'A' + 'a');
  }
  return parsed;
}

}  // namespace cli
