#include "script/unpack.h"

#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

#include "os/files.h"
#include "os/text.h"
#include "script/install_journal.h"
#include "script/member_data.h"
#include "script/member_name.h"
#include "script/member_writers.h"
#include "script/unpack_files.h"
#include "script/zip_archive.h"
#include "script/zip_layout.h"

namespace ovix {
namespace {

namespace fs = std::filesystem;

// Large enough that a member costs few calls, small enough to keep the memory flat.
constexpr std::size_t kChunkSize = 256 * 1024;

struct TFileClose {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using TFile = std::unique_ptr<std::FILE, TFileClose>;

fs::path OpenDestination(std::string_view directory) {
  std::string windowsPath(directory);
  // "C:" alone names the drive's root here; Windows would take its current directory.
  if (windowsPath.size() == 2 && windowsPath[1] == ':') windowsPath += '\\';
  const std::optional<fs::path> local = LocalPath(windowsPath);
  std::error_code error;
  if (local && fs::is_directory(*local, error)) return *local;
  const bool exists = local && fs::exists(*local, error);
  throw TUnpackError("Cannot unpack into \"" + std::string(directory) + "\": " +
                     (exists ? "this is not a directory." : "the directory does not exist."));
}

// A member's data on its way to disk: written beside its target and moved there only when
// complete, also where no file stands yet, so that not even a killed process leaves a cut-off
// file under the target's name. Removed unless kept.
class TPendingFile {
 public:
  explicit TPendingFile(const fs::path& target)
      : target_(target), path_(PartialFileBeside(target)), out_(CreateOutputFile(path_)) {}
  ~TPendingFile() {
    out_.reset();
    std::error_code ignored;
    if (!kept_) fs::remove(path_, ignored);
  }
  TPendingFile(const TPendingFile&) = delete;
  TPendingFile& operator=(const TPendingFile&) = delete;

  std::FILE* Stream() const { return out_.get(); }
  // Closes the data and puts it in place; false when either fails.
  bool Keep() {
    if (std::fclose(out_.release()) != 0) return false;
    kept_ = MoveReplacing(path_, target_);
    return kept_;
  }

 private:
  const fs::path target_;
  const fs::path path_;
  TFile out_;
  bool kept_ = false;
};

constexpr std::string_view kDamaged = "its data is damaged or fails its checksum";
constexpr std::string_view kNotWritten = "the file cannot be written";

// Streams a member to `target` through libzip, for what the direct reader does not take;
// a failure leaves an old file as it was. Data beyond the declared size stops the member at
// once.
TMemberOutcome WriteThroughLibzip(zip_t* zip, zip_uint64_t index, const fs::path& target,
                                  std::vector<char>& buffer) {
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat_index(zip, index, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE)) {
    return kDamaged;
  }
  TZipFile member(zip_fopen_index(zip, index, 0));
  if (!member) {
    const int error = zip_error_code_zip(zip_get_error(zip));
    if (error == ZIP_ER_COMPNOTSUPP) return "it is compressed in a way this program cannot read";
    if (error == ZIP_ER_ENCRNOTSUPP || error == ZIP_ER_NOPASSWD) return "it is encrypted";
    return kDamaged;
  }
  TPendingFile out(target);
  if (!out.Stream()) return kNotWritten;
  buffer.resize(kChunkSize);
  std::uint64_t written = 0;
  for (;;) {
    const zip_int64_t got = zip_fread(member.get(), buffer.data(), buffer.size());
    if (got < 0) return kDamaged;  // damaged data, or a CRC mismatch at the end
    if (got == 0) break;
    const auto count = static_cast<std::size_t>(got);
    written += count;
    if (written > stat.size) return kDamaged;
    if (std::fwrite(buffer.data(), 1, count, out.Stream()) != count) return kNotWritten;
  }
  if (written != stat.size || zip_fclose(member.release()) != 0) return kDamaged;
  if (!out.Keep()) return kNotWritten;
  return std::nullopt;
}

// The bytes all members in memory at once may take, inflated and compressed: larger ones
// stream.
constexpr std::size_t kMemberMemory = 40u << 20;
// Members prepared ahead of the last one told: bounds the memory for queued members.
constexpr std::uint64_t kPreparedAhead = 1024;
// Members whose journal lines reach the disk in one sync before any of them is written; at
// most kPreparedAhead, so the member told next has always been queued.
constexpr std::size_t kSyncBatch = 256;
static_assert(kSyncBatch <= kPreparedAhead);

// Per member, what the calling thread and the pool hand each other: how it is read, and with
// a journal, the write recorded before it is queued and the file's state once written.
struct TMemberNotes {
  std::vector<char> direct;
  std::vector<TInstallJournal::TPlannedWrite> plans;  // empty without a journal
  std::vector<std::string> states;
};

// One pool thread's means: the direct reader, and for other members a libzip handle of
// its own, opened on first need, as libzip handles are not to be shared between threads.
class TArchiveWorker : public TMemberWorker {
 public:
  TArchiveWorker(const TOpenArchive& archive, TMemberNotes& notes, std::size_t memory)
      : archive_(archive), notes_(notes), reader_(archive.read, archive.size, memory) {}

  // The journal's share is done here, off the calling thread: the original kept before the
  // write (its line is on disk already), the state taken after.
  TMemberOutcome Write(std::uint64_t index, const fs::path& target) override {
    const bool journalled = !notes_.plans.empty();
    if (journalled) {
      const TInstallJournal::TPlannedWrite plan = std::move(notes_.plans[index]);
      if (!TInstallJournal::KeepOriginal(plan)) return "the file it replaces cannot be kept";
      if (!plan.recorded) return WriteData(index, target);
      const TMemberOutcome outcome = WriteData(index, target);
      if (!outcome) notes_.states[index] = TInstallJournal::StateOf(target);
      return outcome;
    }
    return WriteData(index, target);
  }

 private:
  TMemberOutcome WriteData(std::uint64_t index, const fs::path& target) {
    if (!notes_.direct[index]) {
      if (!zip_) zip_ = OpenAnotherHandle(archive_);
      if (!zip_) return kDamaged;
      return WriteThroughLibzip(zip_.get(), index, target, buffer_);
    }
    TPendingFile out(target);
    if (!out.Stream()) return kNotWritten;
    switch (reader_.Write(archive_.places[index], out.Stream())) {
      case TMemberWrite::Damaged:
        return kDamaged;
      case TMemberWrite::WriteFailed:
        return kNotWritten;
      case TMemberWrite::Written:
        break;
    }
    if (!out.Keep()) return kNotWritten;
    return std::nullopt;
  }

  const TOpenArchive& archive_;
  TMemberNotes& notes_;
  TMemberDataReader reader_;
  TZip zip_;
  std::vector<char> buffer_;
};

// A link stored by a Unix archiver: extracting it would let later members write through it.
bool IsSymbolicLink(zip_t* zip, zip_uint64_t index) {
  constexpr zip_uint32_t kTypeMask = 0170000;
  constexpr zip_uint32_t kLinkType = 0120000;
  zip_uint8_t system = 0;
  zip_uint32_t attributes = 0;
  if (zip_file_get_external_attributes(zip, index, 0, &system, &attributes) != 0) return true;
  return system == ZIP_OPSYS_UNIX && ((attributes >> 16) & kTypeMask) == kLinkType;
}

// The member's name split into the components it writes, or why it must not be written.
TMemberOutcome CheckedName(zip_t* zip, zip_uint64_t index, std::optional<TMemberName>& name) {
  if (IsSymbolicLink(zip, index)) return "a link, which could lead out of the folder";
  // The stored bytes are checked as well: libzip shows the control characters of a name
  // it takes for CP437 as symbols.
  const char* stored = zip_get_name(zip, index, ZIP_FL_ENC_RAW);
  const char* shown = zip_get_name(zip, index, 0);
  if (stored == nullptr || shown == nullptr) return "its name cannot be read";
  name = SplitMemberName(shown);
  if (!SplitMemberName(stored) || !name) return "its name is not safe to write on Windows";
  return std::nullopt;
}

// A member's name as the player is told it.
std::string ShownName(zip_t* zip, zip_uint64_t index) {
  // Appended piecewise: GCC 12 warns falsely about the operator+ chain here.
  const char* name = zip_get_name(zip, index, 0);
  std::string shown = name != nullptr ? RepairUtf8(name) : std::string("#");
  if (name == nullptr) shown.append(std::to_string(index));
  return shown;
}

// Whether the direct reader may take the member: its place agrees with what libzip reads
// from the directory, and it is stored or deflated without encryption.
bool ReadDirectly(zip_t* zip, zip_uint64_t index, const std::vector<TMemberPlace>& places) {
  if (index >= places.size() || !TMemberDataReader::Takes(places[index])) return false;
  const TMemberPlace& place = places[index];
  zip_stat_t stat;
  zip_stat_init(&stat);
  constexpr zip_uint64_t kNeeded = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_CRC |
                                   ZIP_STAT_COMP_METHOD | ZIP_STAT_ENCRYPTION_METHOD;
  const char* stored = zip_get_name(zip, index, ZIP_FL_ENC_RAW);
  return zip_stat_index(zip, index, 0, &stat) == 0 && (stat.valid & kNeeded) == kNeeded &&
         stored != nullptr && place.name == stored && stat.size == place.size &&
         stat.comp_size == place.compressedSize && stat.crc == place.crc &&
         stat.comp_method == place.method && stat.encryption_method == ZIP_EM_NONE;
}

// The members of one archive on their way below the destination: prepared here in archive
// order (names checked, folders made, the journal told), written by the pool.
class TExtraction {
 public:
  TExtraction(const TOpenArchive& archive, fs::path destination, TInstallJournal* journal,
              TMemberNotes& notes, TMemberWriters& writers)
      : archive_(archive),
        destination_(std::move(destination)),
        journal_(journal),
        notes_(notes),
        writers_(writers) {
    RemoveStalePartialFiles(destination_);
  }

  // Queues the member, or tells why it is skipped; the file it writes, if any.
  std::optional<fs::path> Prepare(zip_uint64_t index) {
    fs::path target;
    if (const auto problem = Target(index, target)) {
      writers_.Settle(index, problem);
      return std::nullopt;
    }
    if (target.empty()) {
      writers_.Settle(index, std::nullopt);  // a folder, made
      return std::nullopt;
    }
    notes_.direct[index] = ReadDirectly(archive_.zip.get(), index, archive_.places);
    Queue(index, target, SameFileKey(target));
    paths_.Added(target);
    return target;
  }

  // Hands the members prepared to the pool, once the journal's lines for them are on the disk.
  void Flush() {
    if (pending_.empty()) return;
    journal_->Sync();
    for (TPending& member : pending_) {
      writers_.Write(member.index, std::move(member.target), std::move(member.key));
    }
    pending_.clear();
    pendingKeys_.clear();
  }

 private:
  // The file the member writes, empty for a folder; why it is skipped, if so.
  TMemberOutcome Target(zip_uint64_t index, fs::path& target) {
    std::optional<TMemberName> name;
    if (const TMemberOutcome problem = CheckedName(archive_.zip.get(), index, name)) return problem;
    const std::span<const std::string_view> components = name->components;
    if (name->directory) {
      if (MakeDirectories(components)) return std::nullopt;
      return "its folder cannot be made";
    }
    if (components.empty()) return "its name is empty";
    const auto parent = MakeDirectories(components.first(components.size() - 1));
    if (!parent) return "its folder cannot be made";
    target = paths_.Child(*parent, components.back());
    if (journal_) notes_.plans[index] = journal_->PlanWrite(target);
    return std::nullopt;
  }

  // The directory below the destination that `components` name, made where missing.
  std::optional<fs::path> MakeDirectories(std::span<const std::string_view> components) {
    fs::path directory = destination_;
    for (const std::string_view component : components) {
      directory = paths_.Child(directory, component);
      if (knownDirectories_.contains(directory.native())) continue;
      // An earlier member may write a file of this name: as one by one, it comes first.
      const fs::path::string_type key = SameFileKey(directory);
      if (pendingKeys_.contains(key)) Flush();
      writers_.WaitForTarget(key);
      std::error_code error;
      if (!fs::is_directory(directory, error)) {
        if (journal_) journal_->BeforeCreateFolder(directory);
        fs::create_directory(directory, error);
        if (error || !fs::is_directory(directory, error)) return std::nullopt;
        paths_.Added(directory);
      } else {
        RemoveStalePartialFiles(directory);  // what a killed install left here
      }
      knownDirectories_.insert(directory.native());
    }
    return directory;
  }

  const TOpenArchive& archive_;
  void Queue(zip_uint64_t index, fs::path target, fs::path::string_type key) {
    if (!journal_) {
      writers_.Write(index, std::move(target), std::move(key));
      return;
    }
    pendingKeys_.insert(key);
    pending_.push_back({index, std::move(target), std::move(key)});
    if (pending_.size() >= kSyncBatch) Flush();
  }

  const fs::path destination_;
  TInstallJournal* const journal_;
  TMemberNotes& notes_;
  TMemberWriters& writers_;
  // With a journal: members prepared, their lines not yet synced, so not yet queued.
  struct TPending {
    zip_uint64_t index;
    fs::path target;
    fs::path::string_type key;
  };
  std::vector<TPending> pending_;
  std::unordered_set<fs::path::string_type> pendingKeys_;
  TMemberPaths paths_;
  // Directories made or found by now: members in them need no further look-up.
  std::unordered_set<fs::path::string_type> knownDirectories_;
};

int PoolThreads() {
  constexpr unsigned kMostThreads = 4;
  return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, kMostThreads));
}

std::size_t ExtractAll(const TOpenArchive& archive, std::string_view destinationDirectory,
                       const TArchiveProgress& progress, const TSkippedMember& skipped,
                       TInstallJournal* journal = nullptr) {
  const fs::path destination = OpenDestination(destinationDirectory);
  zip_t* zip = archive.zip.get();
  const auto count = static_cast<zip_uint64_t>(zip_get_num_entries(zip, 0));
  TMemberNotes notes;
  notes.direct.resize(count);
  if (journal) {
    notes.plans.resize(count);
    notes.states.resize(count);
  }
  const int threads =
      static_cast<int>(std::min<zip_uint64_t>(PoolThreads(), std::max<zip_uint64_t>(count, 1)));
  const std::size_t memory = kMemberMemory / static_cast<std::size_t>(threads);
  TMemberWriters writers(count, threads, [&archive, &notes, memory] {
    return std::make_unique<TArchiveWorker>(archive, notes, memory);
  });
  std::optional<TInstallJournal::TDeferredSync> batched;
  if (journal) batched.emplace(*journal);
  TExtraction extraction(archive, destination, journal, notes, writers);

  // Members are told in archive order, each once it is done.
  std::deque<std::optional<fs::path>> targets;
  zip_uint64_t told = 0;
  std::size_t written = 0;
  const auto tell = [&] {
    const TMemberOutcome outcome = writers.Outcome(told);
    const std::optional<fs::path> target = std::move(targets.front());
    targets.pop_front();
    if (outcome) {
      if (skipped) skipped(ShownName(zip, told), *outcome);
    } else if (target) {
      ++written;
      if (journal && !notes.states[told].empty()) {
        journal->Written(*target, notes.states[told]);
        notes.states[told] = {};
      }
    }
    ++told;
    if (progress) progress(static_cast<int>(told * 100 / count));
  };
  for (zip_uint64_t index = 0; index < count; ++index) {
    // A member that fails is skipped: the others are still worth having.
    targets.push_back(extraction.Prepare(index));
    while (told < index + 1 && (index + 1 - told >= kPreparedAhead || writers.Done(told))) tell();
  }
  extraction.Flush();
  while (told < count) tell();
  if (count > 0 && progress) progress(100);
  return written;
}
}  // namespace

void PlanUnpack(std::string_view archive, std::string_view destinationDirectory,
                const TPlannedEntry& planned, const TSkippedMember& skipped) {
  const TOpenArchive opened = OpenArchiveFile(archive);
  const fs::path destination = OpenDestination(destinationDirectory);
  zip_t* zip = opened.zip.get();
  const auto count = static_cast<zip_uint64_t>(zip_get_num_entries(zip, 0));
  TMemberPaths paths;
  // What the members before have made or written, as the system compares names.
  std::unordered_set<fs::path::string_type> folders;
  std::unordered_set<fs::path::string_type> files;
  const auto folderOf = [&](std::span<const std::string_view> components) {
    fs::path directory = destination;
    for (const std::string_view component : components) {
      directory = paths.Child(directory, component);
      const fs::path::string_type key = SameFileKey(directory);
      if (folders.contains(key)) continue;
      std::error_code error;
      if (files.contains(key) ||
          (fs::exists(directory, error) && !fs::is_directory(directory, error)))
        return std::optional<fs::path>();
      if (!fs::is_directory(directory, error)) planned(directory, TPlannedKind::NewFolder);
      folders.insert(key);
    }
    return std::optional<fs::path>(directory);
  };
  for (zip_uint64_t index = 0; index < count; ++index) {
    std::optional<TMemberName> name;
    TMemberOutcome problem = CheckedName(zip, index, name);
    std::optional<fs::path> parent;
    if (!problem && name->directory) {
      if (!folderOf(name->components)) problem = "its folder cannot be made";
    } else if (!problem && name->components.empty()) {
      problem = "its name is empty";
    } else if (!problem) {
      const std::span<const std::string_view> components = name->components;
      parent = folderOf(components.first(components.size() - 1));
      if (!parent) problem = "its folder cannot be made";
    }
    if (problem) {
      if (skipped) skipped(ShownName(zip, index), *problem);
      continue;
    }
    if (!parent) continue;
    const fs::path target = paths.Child(*parent, name->components.back());
    std::error_code error;
    // A folder where the file would go stays, and the member is skipped, as in the real run.
    if (!files.contains(SameFileKey(target)) &&
        (folders.contains(SameFileKey(target)) || fs::is_directory(target, error))) {
      if (skipped) skipped(ShownName(zip, index), kNotWritten);
      continue;
    }
    const bool exists = files.contains(SameFileKey(target)) || fs::exists(target, error);
    planned(target, exists ? TPlannedKind::ReplacedFile : TPlannedKind::NewFile);
    files.insert(SameFileKey(target));
  }
}

std::size_t UnpackArchive(std::string_view archive, std::string_view destinationDirectory,
                          const TArchiveProgress& progress, const TSkippedMember& skipped,
                          TInstallJournal* journal) {
  return ExtractAll(OpenArchiveFile(archive), destinationDirectory, progress, skipped, journal);
}

void UnpackArchiveData(std::span<const unsigned char> archive, std::string_view name,
                       std::string_view destinationDirectory, const TArchiveProgress& progress,
                       const TSkippedMember& skipped) {
  ExtractAll(OpenArchiveData(archive, name), destinationDirectory, progress, skipped);
}

}  // namespace ovix
