// The text form of a hive file: regedit's REGEDIT4 syntax in UTF-8.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "hive_tree.h"

namespace marrowick::platform {

struct TextPiece;  // reg_syntax.h

// The root key (HKEY_LOCAL_MACHINE) described by the text, or null when the text is not
// a well-formed hive, with the line that could not be read in failedLine when given.
// Nothing is skipped: a line that cannot be read fails the whole text.
std::unique_ptr<Key> ParseHive(std::string_view text, std::size_t* failedLine = nullptr);
// The same, reading every line but keeping the values of a key for later, unread, where its
// lines are exactly what WriteHive writes for them: a hive of many values costs little more
// than its syntax until they are asked for, and is written back from those lines.
std::unique_ptr<Key> ParseHive(std::shared_ptr<const std::string> text,
                               std::size_t* failedLine = nullptr);
// Reads value lines a parse kept for later, giving each value to `take` in their order with
// the lines it was read from as its writtenLine.
void ReadValueLines(std::string_view lines, const std::function<void(Value&&)>& take);

// The text form of the tree: "REGEDIT4", then every key in creation order (empty ones
// too), each after a blank line. ParseHive gives back the same tree.
std::string WriteHive(const Key& root);
// The same into text, replacing what it held: a string used again for every write keeps
// its room for the next. With pieces, long runs of lines unchanged since they were read
// are not copied into text but left where they are: the hive's text is then the pieces
// (see TextPiece), valid while the tree is unchanged.
void WriteHive(const Key& root, std::string& text, std::vector<TextPiece>* pieces = nullptr);

}  // namespace marrowick::platform
