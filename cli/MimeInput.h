// What the command line accepts as a file extension and a MIME type. Stricter than the
// dialogs, which store what an administrator typed: a script's mistake (".pdf", a type
// without subtype) would otherwise be stored silently and never match a file.
#pragma once

#include <string>

namespace marrowick::cli {

// The German reason an extension is refused, naming it; empty when it is accepted: not
// empty, no leading dot, no blanks, control characters, "/" or "\".
std::string ExtensionProblem(const std::string& extension);

// The German reason a MIME type is refused, naming it; empty when it is accepted: the
// registered form type/subtype, each a name of letters, digits and !#$&^_.+- that begins
// with a letter or digit, optionally followed by parameters "; name=value".
std::string MimeTypeProblem(const std::string& type);

// The text in „“, with control characters as \xNN so that a message never carries them.
std::string Quoted(const std::string& text);

}  // namespace marrowick::cli
