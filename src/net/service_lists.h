#pragma once
// The update service's requests and the formats of its list answers.

#include <string>
#include <string_view>
#include <vector>

#include "os/text.h"  // MatchesMask

namespace ovix {

// The address built into the program at configure time, without a trailing "/".
std::string DefaultUpdateServiceUrl();
// What a program's entry hands its window, read once there: OVIX_UPDATE_URL from the
// environment when set (self-hosting, tests, the demo), else the built-in address.
std::string UpdateServiceUrlFromEnvironment();
// The address without its trailing "/"s: requests are appended to it.
std::string ServiceBaseUrl(std::string address);

inline constexpr std::string_view kVersionsRequest = "/get-ovix-versions?version=";
inline constexpr std::string_view kConfigsRequest = "/get-ovix-configs";
inline constexpr std::string_view kNightlyRequest = "/get-last-nightly";
inline constexpr std::string_view kScriptRequest = "/get-script?version=";

struct TListEntry {
  std::string name;  // what the box shows
  std::string key;   // what is sent or substituted for it; may be empty
  bool operator==(const TListEntry&) const = default;
};

// One entry per non-blank line; lines end at CR or LF. Each line is trimmed and
// split into display name and key.
std::vector<TListEntry> ParseServiceList(std::string_view text);

// A nightly revision is taken only when it is 1 to 9 characters long.
bool IsAcceptedRevision(std::string_view revision);

// The most items each box takes; a longer list is rejected.
inline constexpr int kMaxListItems = 10;

// What the version box holds for a list: the list, or the placeholder alone (its key empty)
// when the list is empty or rejected.
std::vector<TListEntry> VersionItems(std::vector<TListEntry> list, std::string placeholder);
// What the configuration box holds: its placeholder first (its key empty), then the list,
// unless the two together are more than the box takes.
std::vector<TListEntry> ConfigItems(std::vector<TListEntry> list, std::string placeholder);

}  // namespace ovix
