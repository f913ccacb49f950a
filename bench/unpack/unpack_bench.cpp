// Extraction speed of UnpackArchive, and of a whole install by the console program of a script
// with one UNPACK, beside a minimal libzip extractor, `unzip -o -q`, bsdtar and 7-Zip, on 2,000
// members of 4 KB, on 20 members of 10 MB and on 2 members of 64 MB, medians of N runs each
// (at least 5), and the peak resident memory of each way measured in a child process of its
// own.
// Usage: unpack_bench [runs]    (posix only; works in $TMPDIR, /tmp by default)

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "install/install_log.h"
#include "script/install_journal.h"
#include "script/unpack.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kChunkSize = 256 * 1024;

struct TZipDiscard {
  void operator()(zip_t* zip) const { zip_discard(zip); }
};
struct TZipFileClose {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};
struct TFileClose {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// Text of words drawn from a fixed vocabulary: compresses about as well as game configs.
class TWordSource {
 public:
  TWordSource() : random_(20240611) {
    std::uniform_int_distribution<int> length(2, 11), letter('a', 'z');
    for (int i = 0; i < 4000; ++i) {
      std::string word;
      for (int n = length(random_); n > 0; --n) word += static_cast<char>(letter(random_));
      words_.push_back(word);
    }
  }
  std::string Text(std::size_t size) {
    std::string text;
    text.reserve(size + 16);
    std::uniform_int_distribution<std::size_t> pick(0, words_.size() - 1);
    while (text.size() < size) {
      text += words_[pick(random_)];
      text += text.size() % 61 < 8 ? '\n' : ' ';
    }
    text.resize(size);
    return text;
  }

 private:
  std::mt19937 random_;
  std::vector<std::string> words_;
};

void MakeArchive(const fs::path& file, int members, std::size_t size, int folders) {
  TWordSource source;
  std::vector<std::string> contents;
  int error = 0;
  std::unique_ptr<zip_t, TZipDiscard> zip(
      zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error));
  if (!zip) throw std::runtime_error("cannot create " + file.string());
  for (int i = 0; i < members; ++i) {
    contents.push_back(source.Text(size));
    const std::string name =
        "folder" + std::to_string(i % folders) + "/member" + std::to_string(i) + ".txt";
    zip_source_t* data = zip_source_buffer(zip.get(), contents.back().data(), size, 0);
    if (zip_file_add(zip.get(), name.c_str(), data, 0) < 0) {
      zip_source_free(data);
      throw std::runtime_error(zip_strerror(zip.get()));
    }
  }
  if (zip_close(zip.get()) != 0) throw std::runtime_error(zip_strerror(zip.get()));
  zip.release();  // closed
}

// The least an extractor can do: each member streamed to its file, nothing checked.
void MinimalExtract(const fs::path& archive, const fs::path& destination) {
  int error = 0;
  const std::unique_ptr<zip_t, TZipDiscard> zip(zip_open(archive.c_str(), ZIP_RDONLY, &error));
  if (!zip) throw std::runtime_error("cannot open " + archive.string());
  std::vector<char> buffer(kChunkSize);
  const zip_int64_t count = zip_get_num_entries(zip.get(), 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    const fs::path target = destination / zip_get_name(zip.get(), static_cast<zip_uint64_t>(i), 0);
    fs::create_directories(target.parent_path());
    const std::unique_ptr<zip_file_t, TZipFileClose> in(
        zip_fopen_index(zip.get(), static_cast<zip_uint64_t>(i), 0));
    const std::unique_ptr<std::FILE, TFileClose> out(std::fopen(target.c_str(), "wb"));
    if (!in || !out) throw std::runtime_error("cannot extract " + target.string());
    for (zip_int64_t got; (got = zip_fread(in.get(), buffer.data(), buffer.size())) > 0;) {
      std::fwrite(buffer.data(), 1, static_cast<std::size_t>(got), out.get());
    }
  }
}

// Windows paths below C:, which the bench's prefix maps to `driveC`.
std::string WindowsPath(const fs::path& driveC, const fs::path& local) {
  std::string path = "C:\\" + local.lexically_relative(driveC).string();
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

// Starts a program looked up on PATH, its standard output into `output` unless that is -1.
pid_t Spawn(const std::vector<std::string>& arguments, int output = -1) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (output != -1) posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
  pid_t child = 0;
  const int error = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) throw std::runtime_error("cannot start " + arguments[0]);
  return child;
}

// Runs a program to its end; its peak resident memory in KB. A quiet one's output goes nowhere.
long RunChild(const std::vector<std::string>& arguments, bool quiet = false) {
  const int nowhere = quiet ? open("/dev/null", O_WRONLY | O_CLOEXEC) : -1;
  const pid_t child = Spawn(arguments, nowhere);
  if (nowhere != -1) close(nowhere);
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error(arguments[0] + " failed");
  }
  return usage.ru_maxrss;
}

// The peak memory of a program started from a small process: one spawned by this process,
// which holds the archives' contents, would be charged this one's memory until its exec.
long PeakMemory(const std::string& self, const std::vector<std::string>& arguments) {
  std::vector<std::string> trampoline = {self, "--peak"};
  trampoline.insert(trampoline.end(), arguments.begin(), arguments.end());
  const std::unique_ptr<std::FILE, TFileClose> output(std::tmpfile());
  if (!output) throw std::runtime_error("cannot make a temporary file");
  const pid_t child = Spawn(trampoline, fileno(output.get()));
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error("cannot measure " + arguments[0]);
  }
  long kilobytes = 0;
  std::rewind(output.get());
  if (std::fscanf(output.get(), "%ld", &kilobytes) != 1) throw std::runtime_error("no peak");
  return kilobytes;
}

std::uintmax_t TotalSize(const fs::path& folder) {
  std::uintmax_t total = 0;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) total += entry.file_size();
  }
  return total;
}

// A folder removed with everything in it on the way out.
struct TFolder {
  ~TFolder() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  fs::path path;
};

struct TWay {
  const char* name;
  std::function<void(const fs::path& archive, const fs::path& destination)> extract;
  // The same extraction as a program of its own, for its memory.
  std::function<std::vector<std::string>(const fs::path& archive, const fs::path& destination)>
      child;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// What the undo journal costs an UNPACK over existing files: the same extraction with and
// without it, alternating, in this one run. With it, as an install keeps it: begun (which
// prunes journals beyond the last three), every change recorded with its original kept and
// told to the install log, ended.
template <typename TArchive>
void JournalCost(int runs, const fs::path& driveC, const TArchive& archive) {
  const fs::path game = driveC / "game";
  const fs::path data = driveC / "data";
  fs::remove_all(game);
  fs::create_directory(game);
  ovix::UnpackArchive(WindowsPath(driveC, archive.file), WindowsPath(driveC, game), [](int) {});
  std::vector<double> plain, journaled;
  for (int run = 0; run < std::max(runs, 5); ++run) {
    for (const bool withJournal : {false, true}) {
      sync();
      const auto begin = std::chrono::steady_clock::now();
      if (withJournal) {
        std::string error;
        ovix::TInstallLog log(data);
        const auto journal = ovix::TInstallJournal::Begin(data, game, error);
        if (!journal) throw std::runtime_error(error);
        journal->onRecord = [&](ovix::TJournalRecord change, const fs::path& path) {
          log.Line(std::string(ovix::RecordWords(change)) + " " + path.string(), false);
        };
        ovix::UnpackArchive(
            WindowsPath(driveC, archive.file), WindowsPath(driveC, game), [](int) {}, {},
            journal.get());
        journal->End(true);
      } else {
        ovix::UnpackArchive(WindowsPath(driveC, archive.file), WindowsPath(driveC, game),
                            [](int) {});
      }
      const std::chrono::duration<double> took = std::chrono::steady_clock::now() - begin;
      (withJournal ? journaled : plain).push_back(took.count());
    }
  }
  std::printf("\n%s over existing files, medians of %zu:\n", archive.label, plain.size());
  std::printf("  without the journal %8.3f s\n  with the journal    %8.3f s  (%.2fx)\n",
              Median(plain), Median(journaled), Median(journaled) / Median(plain));
}

int Bench(int runs, bool journalOnly) {
  std::string pattern = (fs::temp_directory_path() / "ovix-unpack-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a folder");
  const TFolder folder{pattern};
  const fs::path prefix = pattern, driveC = prefix / "drive_c";
  fs::create_directories(driveC);
  fs::create_directories(prefix / "dosdevices");
  fs::create_directory_symlink("../drive_c", prefix / "dosdevices" / "c:");
  setenv("WINEPREFIX", prefix.c_str(), 1);
  const std::string self = fs::read_symlink("/proc/self/exe").string();

  struct TArchive {
    const char* label;
    fs::path file;
    int members;
    std::size_t size;
    int folders;
  };
  // The third shows the memory of members too large to be held whole.
  const std::vector<TArchive> archives = {{"2,000 x 4 KB", driveC / "small.zip", 2000, 4096, 20},
                                          {"20 x 10 MB", driveC / "large.zip", 20, 10u << 20, 2},
                                          {"2 x 64 MB", driveC / "huge.zip", 2, 64u << 20, 1}};
  if (journalOnly) {
    // The journal's cost alone, over more runs than the whole comparison could afford.
    MakeArchive(archives.front().file, archives.front().members, archives.front().size,
                archives.front().folders);
    JournalCost(runs, driveC, archives.front());
    return 0;
  }
  for (const TArchive& a : archives) MakeArchive(a.file, a.members, a.size, a.folders);

  // The console program installs into a game folder of its own; the script unpacks the
  // archive into the output folder, outside it. Nothing answers on the service's address.
  const fs::path game = driveC / "game-for-cli";
  fs::create_directories(game);
  std::ofstream(game / "worldoftanks.exe") << "MZ";
  const fs::path script = driveC / "unpack.txt";
  setenv("OVIX_DATA_DIR", (prefix / "data").c_str(), 1);
  const std::vector<std::string> runScript = {OVIX_CLI_PATH,
                                              "--service",
                                              "http://127.0.0.1:9",
                                              "--game-dir",
                                              WindowsPath(driveC, game),
                                              "--script",
                                              WindowsPath(driveC, script)};
  const auto install = [&](const fs::path& archive, const fs::path& destination) {
    std::ofstream(script, std::ios::binary | std::ios::trunc)
        << "UNPACK " << WindowsPath(driveC, archive) << " " << WindowsPath(driveC, destination)
        << "\r\n";
    return runScript;
  };
  // The console program's own start and end: the same install, of a script that does
  // nothing.
  {
    std::ofstream(script, std::ios::binary | std::ios::trunc) << "\r\n";
    std::vector<double> starts;
    for (int run = 0; run < std::max(runs, 5) * 4; ++run) {
      const auto begin = std::chrono::steady_clock::now();
      RunChild(runScript, true);
      const std::chrono::duration<double> took = std::chrono::steady_clock::now() - begin;
      starts.push_back(took.count());
    }
    std::printf("console program with a script that does nothing: %.1f ms (median of %zu)\n\n",
                Median(starts) * 1000, starts.size());
  }
  const std::vector<TWay> ways = {
      {"whole install",
       [&](const fs::path& archive, const fs::path& destination) {
         RunChild(install(archive, destination), true);
       },
       install},
      {"UnpackArchive",
       [&](const fs::path& archive, const fs::path& destination) {
         ovix::UnpackArchive(WindowsPath(driveC, archive), WindowsPath(driveC, destination),
                             [](int) {});
       },
       [&](const fs::path& archive, const fs::path& destination) {
         return std::vector<std::string>{self, "--ours", WindowsPath(driveC, archive),
                                         WindowsPath(driveC, destination)};
       }},
      {"minimal libzip", MinimalExtract,
       [&](const fs::path& archive, const fs::path& destination) {
         return std::vector<std::string>{self, "--minimal", archive, destination};
       }},
      {"unzip -o -q",
       [](const fs::path& archive, const fs::path& destination) {
         RunChild({"unzip", "-o", "-q", archive.string(), "-d", destination.string()});
       },
       [](const fs::path& archive, const fs::path& destination) {
         return std::vector<std::string>{"unzip", "-o", "-q", archive, "-d", destination};
       }},
      {"bsdtar",
       [](const fs::path& archive, const fs::path& destination) {
         RunChild({"bsdtar", "-xf", archive.string(), "-C", destination.string()});
       },
       [](const fs::path& archive, const fs::path& destination) {
         return std::vector<std::string>{"bsdtar", "-xf", archive, "-C", destination};
       }},
      {"7-Zip",
       [](const fs::path& archive, const fs::path& destination) {
         RunChild(
             {"7zz", "x", "-y", "-bso0", "-bsp0", "-o" + destination.string(), archive.string()});
       },
       [](const fs::path& archive, const fs::path& destination) {
         return std::vector<std::string>{
             "7zz", "x", "-y", "-bso0", "-bsp0", "-o" + destination.string(), archive};
       }}};
  constexpr std::size_t kMinimal = 2;  // the way the others are compared with

  std::printf("%-14s %-16s %12s %12s %14s\n", "archive", "extractor", "median (s)", "vs minimal",
              "peak RSS (MB)");
  for (const TArchive& a : archives) {
    std::vector<std::vector<double>> times(ways.size());
    std::vector<long> peak(ways.size());
    const fs::path out = driveC / "out";
    for (int run = 0; run < std::max(runs, 5); ++run) {
      for (std::size_t w = 0; w < ways.size(); ++w) {
        fs::remove_all(out);
        fs::create_directory(out);
        sync();  // the previous run's writes are not this one's to wait for
        const auto begin = std::chrono::steady_clock::now();
        ways[w].extract(a.file, out);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - begin;
        times[w].push_back(took.count());
        if (TotalSize(out) != a.members * a.size) {
          throw std::runtime_error(std::string(ways[w].name) + ": incomplete output");
        }
      }
    }
    std::vector<double> median(ways.size());
    for (std::size_t w = 0; w < ways.size(); ++w) median[w] = Median(times[w]);
    for (std::size_t w = 0; w < ways.size(); ++w) {
      fs::remove_all(out);
      fs::create_directory(out);
      peak[w] = PeakMemory(self, ways[w].child(a.file, out));
    }
    for (std::size_t w = 0; w < ways.size(); ++w) {
      std::printf("%-14s %-16s %12.3f %11.2fx %14.1f\n", w == 0 ? a.label : "", ways[w].name,
                  median[w], median[w] / median[kMinimal], static_cast<double>(peak[w]) / 1024.0);
    }
  }
  JournalCost(runs, driveC, archives.front());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    // Child modes: one extraction in a fresh process, and the small process that starts
    // it and tells its peak memory.
    if (argc > 2 && std::string(argv[1]) == "--peak") {
      // Only the number on the output: what the program prints goes nowhere.
      std::printf("%ld\n", RunChild(std::vector<std::string>(argv + 2, argv + argc), true));
      return 0;
    }
    if (argc == 4 && std::string(argv[1]) == "--ours") {
      ovix::UnpackArchive(argv[2], argv[3], [](int) {});
      return 0;
    }
    if (argc == 4 && std::string(argv[1]) == "--minimal") {
      MinimalExtract(argv[2], argv[3]);
      return 0;
    }
    const bool journalOnly = argc > 1 && std::string(argv[1]) == "--journal";
    const int runArgument = journalOnly ? 2 : 1;
    return Bench(argc > runArgument ? std::max(1, std::atoi(argv[runArgument])) : 3, journalOnly);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "unpack_bench: %s\n", error.what());
    return 1;
  }
}
