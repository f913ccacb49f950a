#include "install/script_check.h"

#include <algorithm>
#include <optional>

#include "game/probes.h"
#include "lang/languages.h"
#include "net/transfer_codes.h"
#include "os/text.h"
#include "script/interpreter.h"
#include "script/split_arguments.h"
#include "trust/sha256.h"

namespace ovix {
namespace {

// A Windows path with its separators made one, "." and ".." resolved and ASCII letters
// lower-cased, for comparing; nullopt for a path that is not absolute or climbs above its root.
std::optional<std::string> ComparablePath(std::string_view path) {
  std::string text(path);
  std::replace(text.begin(), text.end(), '/', '\\');
  const bool drive = text.size() >= 3 && text[1] == ':' && text[2] == '\\';
  const bool share = text.starts_with("\\\\");
  if (!drive && !share) return std::nullopt;
  std::vector<std::string> parts;
  std::size_t at = drive ? 3 : 2;
  const std::string root = AsciiLowerCase(text.substr(0, at));
  while (at <= text.size()) {
    const std::size_t end = std::min(text.find('\\', at), text.size());
    const std::string part = text.substr(at, end - at);
    at = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (parts.empty()) return std::nullopt;
      parts.pop_back();
      continue;
    }
    parts.push_back(AsciiLowerCase(part));
  }
  std::string joined = root;
  for (std::size_t i = 0; i < parts.size(); ++i) joined += (i > 0 ? "\\" : "") + parts[i];
  return joined;
}

bool Within(std::string_view path, std::string_view folder) {
  const std::optional<std::string> inner = ComparablePath(path);
  const std::optional<std::string> outer = ComparablePath(folder);
  if (!inner || !outer) return false;
  return *inner == *outer || inner->starts_with(outer->back() == '\\' ? *outer : *outer + "\\");
}

// Reads every line as the scan meets it; no command is carried out.
class TCheckingHost final : public TScriptHost {
 public:
  TCheckingHost(std::string_view text, const TScriptValues& values)
      : text_(text), values_(values) {}

  // Checks the text from `start`; returns where a top-level ENDIF ended the scan, or nullopt
  // at the text's end.
  std::optional<std::size_t> CheckFrom(std::size_t start) {
    base_ = start;
    const std::size_t stop = RunScript(*this, text_.substr(start), false);
    if (endedAt_) {
      endedAt_.reset();
      return start + stop;
    }
    // An ENDIF on the last line, with no line end after it, is never read; the block ends
    // with the script all the same.
    const std::size_t lastLine = text_.find_last_of("\r\n");
    const std::string_view last =
        text_.substr(lastLine == std::string_view::npos ? start : std::max(start, lastLine + 1));
    if (last.starts_with("ENDIF") && last.find(' ') == std::string_view::npos &&
        !openBlocks_.empty()) {
      openBlocks_.pop_back();
    }
    for (const std::size_t line : openBlocks_) {
      Add(line, "a block without ENDIF: it runs to the end of the script");
    }
    openBlocks_.clear();
    return std::nullopt;
  }

  std::vector<TScriptFinding> Findings() {
    std::stable_sort(findings_.begin(), findings_.end(),
                     [](const auto& a, const auto& b) { return a.line < b.line; });
    return findings_;
  }

  void Scanned(const TScannedLine& scanned) override {
    const std::size_t line = LineOf(base_ + scanned.offset);
    const std::string word(scanned.word);
    if (scanned.word.starts_with("ENDIF")) {
      if (scanned.blank) {
        Add(line, "\"" + word + "\" followed by a blank does not close its block");
      } else if (scanned.endsScript) {
        Add(line, "ENDIF outside any block ends the script here; the lines after it never run");
        endedAt_ = line;
      } else if (scanned.closesBlock && !openBlocks_.empty()) {
        openBlocks_.pop_back();
      }
      return;
    }
    if (scanned.word.empty()) {
      // A line of blanks alone says nothing that is lost.
      if (!TrimBlanksAndControls(scanned.rest).empty()) {
        Add(line, "the line begins with a blank: it is ignored");
      }
      return;
    }
    if (scanned.keyword == TKeyword::None) {
      Add(line, "unknown command word \"" + word + "\": the line is ignored");
      return;
    }
    if (!scanned.blank) {
      Add(line, "\"" + word + "\" without a blank after it: the line is ignored");
      return;
    }
    CheckCommand(line, scanned);
  }

  void Status(std::string_view, std::string_view) override {}
  void Percent(int) override {}
  bool GetFile(const std::string&, const std::string&, std::string_view) override { return true; }
  void Unpack(const std::string&, const std::string&) override {}
  void Copy(const std::string&, const std::string&) override {}
  void RemoveDirectoryTree(const std::string&) override {}
  void RemoveFile(const std::string&) override {}
  bool FileExists(const std::string&) override { return false; }
  bool DirectoryExists(const std::string&) override { return false; }
  void Pump() override {}

 private:
  void CheckCommand(std::size_t line, const TScannedLine& scanned) {
    const TKeyword keyword = scanned.keyword;
    const std::string_view command = KeywordWord(keyword);
    if (keyword == TKeyword::If || keyword == TKeyword::IfExists ||
        keyword == TKeyword::IfNotExists) {
      openBlocks_.push_back(line);
      const std::string value(ArgumentsText(scanned.rest));
      if (keyword == TKeyword::If && value != "1" && value != "0") {
        Add(line, std::string("IF \"").append(value).append(
                      "\" is neither 1 nor 0, so the block never runs: a misspelt OPTION "
                      "word?"));
      }
    } else if (keyword == TKeyword::Status && scanned.word.find('=') != std::string_view::npos) {
      Add(line, std::string("\"")
                    .append(scanned.word)
                    .append("\": the \"=\" needs a blank on each side, else the line is never "
                            "shown"));
    } else if (keyword == TKeyword::Status) {
      const std::string language = StatusLanguage(scanned.word);
      bool known = false;
      std::string codes;
      for (int i = 0; i < kLanguageCount; ++i) {
        const std::string_view code = Text(txtLanguageCode, static_cast<TLanguage>(i));
        known = known || code == language;
        codes += (i > 0 ? ", " : "") + std::string(code);
      }
      if (!known) {
        Add(line, "STATUS language \"" + language + "\" is none of " + codes +
                      ": the line is never shown");
      }
    } else if (keyword == TKeyword::Percent) {
      const std::string_view value = CommandValue(scanned.rest);
      try {
        const int percent = StrToInt(value);
        if (percent < 0 || percent > 100) {
          Add(line, "PERCENT " + std::to_string(percent) + " lies outside 0 to 100");
        }
      } catch (const TScriptError&) {
        Add(line, "PERCENT \"" + std::string(value) +
                      "\" is not an integer: the install stops with an error here");
      }
    } else if (keyword == TKeyword::GetFile || keyword == TKeyword::Unpack ||
               keyword == TKeyword::Copy) {
      std::string_view more;
      const TArguments arguments = SplitArguments(ArgumentsText(scanned.rest), &more);
      if (arguments[1].empty()) {
        Add(line, std::string(command) + " needs two arguments and has " +
                      (arguments[0].empty() ? "none" : "one"));
      }
      CheckMoreWords(line, keyword, more);
      if (keyword == TKeyword::GetFile && !arguments[0].empty() &&
          CheckAddressScheme(arguments[0]) != kTransferOk) {
        Add(line, "\"" + arguments[0] + "\" is not an http or https address");
      } else if (keyword == TKeyword::GetFile &&
                 std::any_of(arguments[0].begin(), arguments[0].end(), [](char c) {
                   return static_cast<unsigned char>(c) <= ' ' || c == 0x7F;
                 })) {
        Add(line, std::string("the address \"")
                      .append(arguments[0])
                      .append("\" holds a blank or a control character, which no download "
                              "takes: write a blank as %20"));
      }
      if (!arguments[1].empty()) CheckPlace(line, keyword, arguments[1]);
    } else if (keyword == TKeyword::Delete || keyword == TKeyword::DeleteDir) {
      CheckPlace(line, keyword, std::string(PathArgument(scanned.rest)));
    }
  }

  // Only GETFILE takes a word after its arguments, and only `sha256=`.
  void CheckMoreWords(std::size_t line, TKeyword keyword, std::string_view more) {
    const std::string_view words = TrimBlanksAndControls(more);
    if (words.empty()) return;
    const std::optional<std::string> digest = ExpectedSha256(words);
    const bool oneWord = words.find_first_of(" \t") == std::string_view::npos;
    if (keyword != TKeyword::GetFile || !digest || !oneWord) {
      Add(line, std::string(KeywordWord(keyword)) + " has more than two arguments: \"" +
                    std::string(words) + "\" is ignored");
    } else if (!IsSha256Digest(*digest)) {
      Add(line, "the sha256= word needs 64 hexadecimal digits: no file can match it");
    }
  }

  void CheckPlace(std::size_t line, TKeyword keyword, const std::string& path) {
    const std::string_view command = KeywordWord(keyword);
    if (keyword != TKeyword::GetFile && keyword != TKeyword::Unpack && Within(values_.game, path)) {
      Add(line, std::string(command)
                    .append(" \"")
                    .append(path)
                    .append("\" is refused: ")
                    .append(kGameFolderItself));
      return;
    }
    if (Within(path, values_.game) || Within(path, values_.temp)) return;
    Add(line, std::string(command) + " touches \"" + path +
                  "\", outside the game folder and the temporary folder");
  }

  // The scan meets lines in order: each line end is counted once, from where the last look
  // stopped.
  std::size_t LineOf(std::size_t offset) {
    if (offset < countedTo_) {
      countedTo_ = 0;
      linesBefore_ = 1;
    }
    for (std::size_t i = countedTo_; i < offset && i < text_.size(); ++i) {
      if (text_[i] == '\n' || (text_[i] == '\r' && (i + 1 >= text_.size() || text_[i + 1] != '\n')))
        ++linesBefore_;
    }
    countedTo_ = offset;
    return linesBefore_;
  }

  void Add(std::size_t line, std::string message) {
    findings_.push_back({line, std::move(message)});
  }

  std::string_view text_;
  const TScriptValues& values_;
  std::size_t countedTo_ = 0;
  std::size_t linesBefore_ = 1;
  std::size_t base_ = 0;
  std::vector<std::size_t> openBlocks_;
  std::optional<std::size_t> endedAt_;
  std::vector<TScriptFinding> findings_;
};

}  // namespace

std::optional<std::string> PreviousVersionFolder(const std::string& game) {
  std::vector<std::string> folders;
  ListVersionFolders(game + "\\res_mods\\", folders);
  std::sort(folders.begin(), folders.end(), [](const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
      return static_cast<unsigned char>(AsciiLower(x)) < static_cast<unsigned char>(AsciiLower(y));
    });
  });
  if (folders.size() < 2) return std::nullopt;
  return folders[folders.size() - 2];
}

void ReplacePlaceholders(std::string& script, const TScriptValues& values) {
  ReplaceAll(script, "%TEMP%", values.temp);
  if (values.configFile) ReplaceAll(script, "%CUSTOMCONFIG%", *values.configFile);
  ReplaceAll(script, "OPTIONsaveConfig", values.keepConfig ? "1" : "0");
  ReplaceAll(script, "OPTIONcustomConfig", values.customConfig && !values.keepConfig ? "1" : "0");
  if (values.oldVersion) ReplaceAll(script, "%WOTOLDVERSION%", *values.oldVersion);
  ReplaceAll(script, "%WOT%", values.game);
  ReplaceAll(script, "%WOTVERSION%", values.clientVersion);
}

std::vector<TScriptFinding> CheckScript(std::string_view script, const TScriptValues& values) {
  std::string text(script);
  ReplacePlaceholders(text, values);
  TCheckingHost host(text, values);
  for (std::optional<std::size_t> next = 0; next && *next < text.size();) {
    next = host.CheckFrom(*next);
  }
  return host.Findings();
}

}  // namespace ovix
