// SPDX-License-Identifier: MIT
// The path functions of wildcard expansion, in both syntaxes, on random strings. Checks: the
// directory part is a prefix of the pattern; a joined path ends with the name and, apart from a
// bare root, begins with the prefix; has_wildcard never reads past the string; the wildcard
// matcher treats everything but * and ? as itself.
#include "paths.h"
#include "property_failed.h"
#include "wildcard_match.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool starts_with(const std::string &text, const std::string &start) {
  return text.compare(0, start.size(), start) == 0;
}

bool ends_with(const std::string &text, const std::string &end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string bytes(reinterpret_cast<const char *>(data), size);
  const size_t cut = bytes.find('\0');
  const std::string pattern = bytes.substr(0, cut);
  const std::string name = cut == std::string::npos ? "" : bytes.substr(cut + 1);
  const std::string clean_name = name.substr(0, name.find('\0'));
  has_wildcard(pattern.c_str());
  // Without * and ? a pattern matches exactly itself; "*" followed by a name matches the name.
  if (pattern.find_first_of("*?") == std::string::npos &&
      matches_wildcard(pattern.c_str(), clean_name.c_str()) != (pattern == clean_name))
    property_failed("a plain pattern matched another name");
  if (!matches_wildcard(("*" + clean_name).c_str(), clean_name.c_str()))
    property_failed("* did not match the empty run");
  for (path_syntax syntax : {path_syntax::windows, path_syntax::posix}) {
    char *directory = directory_part(pattern.c_str(), syntax);
    const std::string prefix(directory);
    std::free(directory);
    if (!starts_with(pattern, prefix)) property_failed("directory part is not a prefix");
    char *joined_text = join_path(prefix.c_str(), clean_name.c_str(), syntax);
    const std::string joined(joined_text);
    std::free(joined_text);
    if (!ends_with(joined, clean_name)) property_failed("joined path lost the name");
    const bool root = prefix == "/" || (syntax == path_syntax::windows && prefix == "\\");
    if (!root && !starts_with(joined, prefix)) property_failed("joined path lost the prefix");
    if (joined.size() > prefix.size() + clean_name.size() + 1)
      property_failed("joined path too long");
  }
  return 0;
}
