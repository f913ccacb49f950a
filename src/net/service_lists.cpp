#include "net/service_lists.h"

#include <cstdlib>
#include <iterator>

#include "os/text.h"
#include "script/split_arguments.h"

namespace ovix {

std::string ServiceBaseUrl(std::string address) {
  while (!address.empty() && address.back() == '/') address.pop_back();
  return address;
}

std::string DefaultUpdateServiceUrl() { return ServiceBaseUrl(OVIX_DEFAULT_UPDATE_URL); }

std::string UpdateServiceUrlFromEnvironment() {
  const char* own = std::getenv("OVIX_UPDATE_URL");
  return own && *own ? ServiceBaseUrl(own) : DefaultUpdateServiceUrl();
}

std::vector<TListEntry> ParseServiceList(std::string_view text) {
  std::vector<TListEntry> entries;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find('\r', start), text.find('\n', start));
    const std::string_view line = TrimBlanksAndControls(
        text.substr(start, end == std::string_view::npos ? end : end - start));
    if (!line.empty()) {
      TArguments args = SplitArguments(line);
      entries.push_back({std::move(args[0]), std::move(args[1])});
    }
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return entries;
}

bool IsAcceptedRevision(std::string_view revision) {
  const std::size_t length = Utf16Length(revision);
  return length >= 1 && length <= 9;
}

std::vector<TListEntry> VersionItems(std::vector<TListEntry> list, std::string placeholder) {
  if (list.empty() || list.size() > static_cast<std::size_t>(kMaxListItems))
    return {{std::move(placeholder), ""}};
  return list;
}

std::vector<TListEntry> ConfigItems(std::vector<TListEntry> list, std::string placeholder) {
  std::vector<TListEntry> items{{std::move(placeholder), ""}};
  if (list.size() + 1 <= static_cast<std::size_t>(kMaxListItems))
    items.insert(items.end(), std::make_move_iterator(list.begin()),
                 std::make_move_iterator(list.end()));
  return items;
}

}  // namespace ovix
