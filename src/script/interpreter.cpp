#include "script/interpreter.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <optional>
#include <vector>

#include "os/text.h"
#include "script/split_arguments.h"

namespace ovix {
namespace {

struct TKeywordEntry {
  std::string_view word;
  TKeyword keyword;
};

// Tested top to bottom: a longer word before any word it begins with.
constexpr TKeywordEntry kKeywords[] = {
    {"STATUS", TKeyword::Status},      {"GETFILE", TKeyword::GetFile},
    {"PERCENT", TKeyword::Percent},    {"UNPACK", TKeyword::Unpack},
    {"COPY", TKeyword::Copy},          {"DELETEDIR", TKeyword::DeleteDir},
    {"DELETE", TKeyword::Delete},      {"IF_NEXISTS", TKeyword::IfNotExists},
    {"IF_EXISTS", TKeyword::IfExists}, {"IF", TKeyword::If},
};

const TKeywordEntry* Entry(std::string_view token) {
  for (const auto& entry : kKeywords)
    if (token.starts_with(entry.word)) return &entry;
  return nullptr;
}

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

std::string_view Without(std::string_view rest, std::size_t count) {
  return rest.size() > count ? rest.substr(count) : std::string_view{};
}

// A one-argument path may come in double quotes, like the two-argument ones; no Windows
// path holds a quote, so one enclosing pair is never part of it.
std::string_view Unquoted(std::string_view path) {
  return path.size() >= 2 && path.front() == '"' && path.back() == '"'
             ? path.substr(1, path.size() - 2)
             : path;
}

bool OpensBlock(TKeyword keyword) {
  return keyword == TKeyword::If || keyword == TKeyword::IfExists ||
         keyword == TKeyword::IfNotExists;
}

// A block run under an IF_EXISTS or IF_NEXISTS line catches the failures raised in
// it once: the block then runs again as if the file did not exist.
enum class TGuard { None, IfExists, IfNotExists };

// One invocation of the scan: a block of the text, from base to the text's end.
struct TFrame {
  std::size_t base;  // index in the whole text of this invocation's position 1
  bool execute;
  TGuard guard = TGuard::None;
  std::size_t position = 1;  // 1-based within the invocation's text
  std::string token;
  // In a block that is not performed: the blocks opened inside it and not yet closed, so
  // that it ends at its own ENDIF rather than at the first one.
  std::size_t skippedDepth = 0;
  // The current line's word ended at a blank: its line end tells nothing more.
  bool wordEnded = false;
};

class TRun {
 public:
  TRun(TScriptHost& host, std::string_view text) : host_(host), text_(text) {}

  std::size_t Run(bool execute) {
    frames_.push_back({.base = 0, .execute = execute});
    for (;;) {
      try {
        if (const auto result = Scan()) return *result;
      } catch (...) {
        RestartGuardedBlock(std::current_exception());
      }
    }
  }

 private:
  // Scans until the top-level invocation returns; a failure escapes to Run.
  std::optional<std::size_t> Scan() {
    while (!frames_.empty()) {
      TFrame& frame = frames_.back();
      const std::string_view text = text_.substr(frame.base);
      const std::size_t length = text.size();
      if (frame.position >= length) {
        if (auto result = Return(length)) return result;
        continue;
      }
      host_.Pump();
      ++scanned_;
      const char c = text[frame.position - 1];
      if (IsLineEnd(c)) {
        if (!frame.token.empty() && !frame.wordEnded) {
          const bool endif = frame.token.starts_with("ENDIF");
          host_.Scanned({.offset = frame.base + frame.position - 1 - frame.token.size(),
                         .word = frame.token,
                         .keyword = KeywordOf(frame.token),
                         .performed = frame.execute,
                         .closesBlock = endif && (frame.skippedDepth > 0 || frames_.size() > 1),
                         .endsScript = endif && frame.skippedDepth == 0 && frames_.size() == 1});
        }
        if (frame.token.starts_with("ENDIF")) {
          if (frame.skippedDepth == 0) {
            if (auto result = Return(frame.position)) return result;
            continue;
          }
          --frame.skippedDepth;
        }
        frame.token.clear();
        frame.wordEnded = false;
        ++frame.position;
      } else if (c != ' ') {
        frame.token += c;
        ++frame.position;
      } else {
        const TKeywordEntry* entry = Entry(frame.token);
        const TKeyword keyword = entry != nullptr ? entry->keyword : TKeyword::None;
        const std::size_t offset = frame.base + frame.position - 1 - frame.token.size();
        ReadLineRest(text, frame.position, rest_);
        frame.wordEnded = true;
        host_.Scanned({.offset = offset,
                       .word = frame.token,
                       .keyword = keyword,
                       .blank = true,
                       .rest = rest_,
                       .performed = frame.execute});
        if (keyword == TKeyword::None) frame.token.clear();
        if (keyword != TKeyword::None && frame.execute) {
          if (auto result = Perform(keyword)) return result;
        } else if (!frame.execute && OpensBlock(keyword)) {
          ++frame.skippedDepth;
        }
      }
    }
    return std::nullopt;  // not reached: the last frame's return ends the scan
  }

  // Ends the innermost invocation with its result; the enclosing one goes on from
  // the same place in its own text. The top level's result ends the run.
  std::optional<std::size_t> Return(std::size_t result) {
    frames_.pop_back();
    if (frames_.empty()) return result;
    frames_.back().position += result;
    return std::nullopt;
  }

  std::optional<std::size_t> Perform(TKeyword keyword) {
    TFrame& frame = frames_.back();
    const std::string whole(ArgumentsText(rest_));
    const std::string path(PathArgument(rest_));
    switch (keyword) {
      case TKeyword::Status:
        host_.Status(StatusLanguage(frame.token), CommandValue(rest_));
        break;
      case TKeyword::GetFile: {
        std::string_view more;
        const TArguments arguments = SplitArguments(whole, &more);
        if (!host_.GetFile(arguments[0], arguments[1], more)) {
          // Terminating: every enclosing invocation ends with this one.
          return Return(text_.size() - frame.base);
        }
        break;
      }
      case TKeyword::Percent:
        host_.Percent(StrToInt(CommandValue(rest_)));
        break;
      case TKeyword::Unpack: {
        const TArguments arguments = SplitArguments(whole);
        host_.Unpack(arguments[0], arguments[1]);
        break;
      }
      case TKeyword::Copy: {
        const TArguments arguments = SplitArguments(whole);
        host_.Copy(arguments[0], arguments[1]);
        break;
      }
      case TKeyword::DeleteDir: {
        const std::string directory = path + "\\";
        if (host_.DirectoryExists(directory)) host_.RemoveDirectoryTree(directory);
        break;
      }
      case TKeyword::Delete:
        host_.RemoveFile(path);
        break;
      case TKeyword::IfNotExists:
      case TKeyword::IfExists: {
        const bool wanted = keyword == TKeyword::IfExists;
        const TGuard guard = wanted ? TGuard::IfExists : TGuard::IfNotExists;
        bool exists = false;
        try {
          exists = host_.FileExists(path);
        } catch (...) {
          OpenBlock(!wanted, TGuard::None);  // the test failed: run as if there were no file
          break;
        }
        OpenBlock(exists == wanted, guard);
        break;
      }
      case TKeyword::If:
        OpenBlock(whole == "1", TGuard::None);
        break;
      case TKeyword::None:
        break;
    }
    return std::nullopt;
  }

  // The block is everything after the IF line's end.
  void OpenBlock(bool execute, TGuard guard) {
    const TFrame& frame = frames_.back();
    const std::size_t base = std::min(frame.base + frame.position, text_.size());
    frames_.push_back({.base = base, .execute = execute, .guard = guard});
  }

  // Unwinds to the innermost guarded block and runs it again from its first line,
  // unguarded, as if the file did not exist; without such a block the failure
  // leaves the run. A restarted block opens its inner guards afresh, so nested
  // IF_NEXISTS blocks around a failing command restart twice as often per level.
  // Without restarts a run scans each character once, and independent blocks add at
  // most one more scan each; past a multiple of the text no plausible script needs, the
  // failure leaves the run instead of repeating the same commands for hours.
  void RestartGuardedBlock(const std::exception_ptr& failure) {
    if (scanned_ > kScanBudgetPerCharacter * text_.size() + kScanBudgetSlack) {
      std::rethrow_exception(failure);
    }
    while (!frames_.empty() && frames_.back().guard == TGuard::None) frames_.pop_back();
    if (frames_.empty()) std::rethrow_exception(failure);
    host_.GuardCaught(ExceptionText(failure, "an unknown error"));
    TFrame& guarded = frames_.back();
    guarded.execute = guarded.guard == TGuard::IfNotExists;
    guarded.guard = TGuard::None;
    guarded.position = 1;
    guarded.token.clear();
    guarded.skippedDepth = 0;
    guarded.wordEnded = false;
  }

  // Six levels of failing guards around one command, each run to its end.
  static constexpr std::size_t kScanBudgetPerCharacter = 64;
  static constexpr std::size_t kScanBudgetSlack = 4096;

  TScriptHost& host_;
  const std::string_view text_;
  std::vector<TFrame> frames_;
  std::string rest_;
  std::size_t scanned_ = 0;
};

}  // namespace

std::string_view CommandValue(std::string_view rest) { return Without(rest, 3); }
std::string_view PathArgument(std::string_view rest) { return Unquoted(Without(rest, 1)); }
std::string_view ArgumentsText(std::string_view rest) { return Without(rest, 1); }

TKeyword KeywordOf(std::string_view word) {
  const TKeywordEntry* entry = Entry(word);
  return entry != nullptr ? entry->keyword : TKeyword::None;
}

std::string_view KeywordWord(TKeyword keyword) {
  for (const auto& entry : kKeywords)
    if (entry.keyword == keyword) return entry.word;
  return {};
}

// The last two UTF-16 code units of a UTF-8 word, in UTF-8.
std::string StatusLanguage(std::string_view word) {
  const std::u16string units = Utf8ToUtf16(word);
  return Utf16ToUtf8(std::u16string_view(units).substr(units.size() < 2 ? 0 : units.size() - 2));
}

std::size_t RunScript(TScriptHost& host, std::string_view text, bool execute) {
  return TRun(host, text).Run(execute);
}

void ReadLineRest(std::string_view text, std::size_t& position, std::string& rest) {
  rest.clear();
  const std::size_t start = position;
  while (position <= text.size() && !IsLineEnd(text[position - 1])) ++position;
  rest.assign(text.substr(start - 1, position - start));
}

int StrToInt(std::string_view text) {
  const auto invalid = [&] {
    // Appended piecewise: GCC 12 warns falsely about the operator+ chain here.
    std::string message(1, '\'');
    message.append(text).append("' is not a valid integer value");
    return TScriptError(message);
  };
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) throw invalid();
  // Hexadecimal spells the 32 bits of the value; decimal must fit the signed range.
  const std::uint64_t limit =
      base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
  std::uint64_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      throw invalid();
    }
    value = value * base + digit;
    if (value > limit) throw invalid();
  }
  const auto bits = static_cast<std::uint32_t>(negative ? 0u - value : value);
  return static_cast<std::int32_t>(bits);
}

}  // namespace ovix
