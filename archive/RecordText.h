#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The text of this system's hidden record files: a first line naming the kind of record
// and the version of its writer ("vornik2html page 1"), then one entry a line, each a row
// of fields, name and value, all separated by tabs. A reader takes every version and the
// fields it knows, and passes over those it does not: a later writer adds fields, and
// gives a field new names rather than a new meaning, so older readers stay right.
namespace quill::records {

using TFields = std::map<std::string, std::string>;

// name, value, name, value... as one line, ended by a line end; tabs, line ends and "%"
// in names and values are written as %XX.
std::string Line(const std::vector<std::pair<std::string, std::string>>& fields);

// The entries of a record file of that kind, in order; nullopt when text is not one (an
// empty file, another kind, a first line that does not parse). A line whose fields do
// not pair up is left out.
std::optional<std::vector<TFields>> Entries(std::string_view text, std::string_view kind);

// The first line of a record file of that kind, as this version writes it.
std::string Header(std::string_view kind);

// A field as a number; fallback when it is missing or is not one.
uint64_t Number(const TFields& fields, const std::string& name, uint64_t fallback = 0);
int64_t SignedNumber(const TFields& fields, const std::string& name, int64_t fallback = 0);
// A field's text; "" when it is missing.
std::string Text(const TFields& fields, const std::string& name);

// Names in one field, one "/" between them: a file name never holds one.
std::string JoinNames(const std::vector<std::string>& names);
std::vector<std::string> SplitNames(std::string_view field);

}  // namespace quill::records
