#pragma once
// A download that outlives the process that began it: its partial file and what the
// server said of it, kept in the user's data folder under a name made of the address and
// the destination. Never beside the destination, so that a game folder holds no leftovers
// and an install that is undone keeps what was received for the next try.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "net/transport.h"

namespace ovix {

class TResumableDownload {
 public:
  // The download of `url` to `destination` in `folder` (made when missing). nullopt when
  // the folder cannot be used, or another running process is downloading the same.
  // Removes what downloads long abandoned left there.
  static std::optional<TResumableDownload> Open(const std::filesystem::path& folder,
                                                const std::string& url,
                                                const std::string& destination);

  const std::filesystem::path& PartialFile() const { return partial_; }
  // Where to continue: the partial file's size, its recorded validator and the whole file's
  // size; offset 0 when there is nothing that can be continued.
  TResumePoint Point() const;
  // What a response said of the bytes it writes; nothing changes when none came.
  void Update(const TResumePoint& point);
  // Whether what was received can be continued (the server named its version and size).
  bool CanContinue() const { return !validator_.empty() && total_ > 0; }
  // The download is complete or its bytes are wrong: the partial file and its record go.
  void Forget();

 private:
  TResumableDownload(std::filesystem::path partial, std::filesystem::path record, std::string url,
                     std::string destination);
  bool WriteRecord() const;

  std::filesystem::path partial_;
  std::filesystem::path record_;
  std::string url_;
  std::string destination_;
  std::string validator_;
  std::uint64_t total_ = 0;
};

}  // namespace ovix
