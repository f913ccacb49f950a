#include "script/journal_text.h"

#include <algorithm>
#include <deque>
#include <map>
#include <system_error>

#include "os/files.h"
#include "os/text.h"
#include "script/folder_scope.h"

namespace ovix::journal {
namespace {

namespace fs = std::filesystem;

std::string Escape(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Unescape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char c = text[++i];
    out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
  }
  return out;
}

fs::path TextPath(std::string_view text) {
  const std::string raw = Unescape(text);
  return fs::path(std::u8string(raw.begin(), raw.end()));
}

// "<size>:<time>" as FileState writes it, or "-".
bool IsState(std::string_view text) {
  if (text == "-") return true;
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos || !DecimalNumber(text.substr(0, colon))) return false;
  std::string_view time = text.substr(colon + 1);
  if (time.starts_with('-')) time.remove_prefix(1);
  return DecimalNumber(time).has_value();
}

// Reads the lines after the header and the game folder into `journal`, noting each that cannot
// be believed: a kind it does not know, a field out of place, a kept original numbered out of
// the order the journal numbers them in.
void ReadEntries(std::string_view text, TJournalText& journal) {
  std::uint64_t nextBackup = 0;
  std::set<std::string> backups;  // kept originals, for "R"
  // By path, the writes still without their "S": writes of one path are made in the order
  // recorded, and their states follow in that order too.
  std::map<fs::path, std::deque<std::size_t>> unstated;
  std::size_t number = 2;  // of the line, for the damage told
  const auto damage = [&](std::string_view why) {
    journal.damage.push_back("line " + std::to_string(number) + ": " + std::string(why));
  };
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    // A line cut off by a kill has no end of line; it is the last and is ignored.
    if (end == std::string_view::npos) break;
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    ++number;
    if (line.size() < 2 || line[1] != '\t') {
      damage("not a journal line");
      continue;
    }
    const char kind = line[0];
    const std::string_view fields = line.substr(2);
    const std::size_t tab = fields.find('\t');
    const std::string detail(fields.substr(0, tab));
    const fs::path path =
        tab == std::string_view::npos ? fs::path() : TextPath(fields.substr(tab + 1));
    if (journal.ended && kind != 'P' && kind != 'U') {
      damage("a change after the install's end");
      continue;
    }
    const bool needsPath =
        kind == 'W' || kind == 'S' || kind == 'D' || kind == 'T' || kind == 'R' || kind == 'F';
    if (needsPath == path.empty()) {
      damage(needsPath ? "a change without its path" : "a path where none belongs");
      continue;
    }
    const auto takeBackup = [&] {
      const std::optional<std::uint64_t> backup = DecimalNumber(detail);
      if (!backup || *backup != nextBackup) return false;
      ++nextBackup;
      backups.insert(detail);
      return true;
    };
    bool sound = true;
    switch (kind) {
      case 'W':
        sound = detail == "-" || takeBackup();
        if (sound) unstated[path].push_back(journal.entries.size());
        break;
      case 'D':
      case 'T':
        sound = takeBackup();
        unstated.erase(path);
        break;
      case 'S':
        sound = IsState(detail);
        if (const auto writes = unstated.find(path); sound && writes != unstated.end()) {
          TEntry& write = journal.entries[writes->second.front()];
          write.completed = true;
          write.state = detail;
          writes->second.pop_front();
          if (writes->second.empty()) unstated.erase(writes);
        }
        break;
      case 'R':
        sound = backups.contains(detail);
        for (TEntry& entry : journal.entries) {
          if (entry.kind == 'T' && entry.detail == detail) entry.leftPlace = true;
        }
        break;
      case 'F':
        sound = detail == "-";
        break;
      case 'E':
        sound = detail == "ok" || detail == "failed";
        journal.ended = sound;
        continue;
      case 'P':
      case 'U':
        if (!DecimalNumber(detail)) {
          damage("an undo step without its entry's number");
        } else {
          (kind == 'P' ? journal.begun : journal.undone).insert(*DecimalNumber(detail));
        }
        continue;
      default:
        damage(std::string("an unknown kind of line \"") + kind + "\"");
        continue;
    }
    if (!sound) {
      damage(std::string("a \"") + kind + "\" line that names no original of this journal's");
      continue;
    }
    journal.entries.push_back({kind, detail, path});
  }
  for (const std::set<std::size_t>* steps : {&journal.begun, &journal.undone}) {
    if (!steps->empty() && *steps->rbegin() >= journal.entries.size()) {
      journal.damage.push_back("an undo step names an entry the journal does not have");
    }
  }
}

}  // namespace

std::string PathText(const fs::path& path) {
  const std::u8string text = path.u8string();
  return Escape(std::string(text.begin(), text.end()));
}

std::string Line(char kind, std::string_view detail, const fs::path& path) {
  std::string line{kind, '\t'};
  line += detail;
  if (!path.empty()) line.append("\t").append(PathText(path));
  line += '\n';
  return line;
}

bool Exists(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::symlink_status(path, error).type() !=
             std::filesystem::file_type::not_found &&
         !error;
}

bool IsRealFolder(const std::filesystem::path& path) {
  std::error_code error;
  return !std::filesystem::is_symlink(path, error) && std::filesystem::is_directory(path, error);
}

std::string FileState(const fs::path& file) {
  std::error_code error;
  const std::uintmax_t size = fs::file_size(file, error);
  if (error) return "-";
  const auto time = fs::last_write_time(file, error);
  if (error) return "-";
  return std::to_string(size) + ":" + std::to_string(time.time_since_epoch().count());
}

std::optional<TJournalText> ReadJournal(const fs::path& folder) {
  const std::optional<std::string> text = ReadWholeFile(folder / kJournalFile);
  if (!text) return std::nullopt;
  std::string_view rest(*text);
  const std::string header = std::string(kHeader) + "\nG\t";
  if (!rest.starts_with(header)) return std::nullopt;
  rest.remove_prefix(header.size());
  const std::size_t end = rest.find('\n');
  if (end == std::string_view::npos || end == 0) return std::nullopt;
  TJournalText journal;
  journal.gameFolder = TextPath(rest.substr(0, end));
  ReadEntries(rest.substr(end + 1), journal);
  return journal;
}

std::vector<fs::path> JournalsOf(const fs::path& dataFolder, const fs::path& gameFolder) {
  std::vector<fs::path> journals;
  const fs::path game = ResolvedPath(gameFolder);
  std::error_code error;
  for (fs::directory_iterator it(dataFolder / "installs", error), end; !error && it != end;
       it.increment(error)) {
    // Lock files, and journals set aside, have other names.
    if (!DecimalNumber(it->path().filename().string())) continue;
    const std::optional<TJournalText> journal = ReadJournal(it->path());
    if (journal && journal->gameFolder == game) journals.push_back(it->path());
  }
  std::sort(journals.begin(), journals.end());
  return journals;
}

}  // namespace ovix::journal
