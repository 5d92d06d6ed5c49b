// What new input may give a MIME mapping: an extension without a leading dot or blanks,
// and a type of the form type/subtype. A mapping outside that form can never be served
// (".rtf" beside "rtf" would even defeat the duplicate check), so the dialogs and the
// command line refuse it. Stored mappings are not judged by it: a Windows registry may
// hold anything, and import takes it with a warning. Include after stdafx.h.
#pragma once

#include <string>

// The German reason an extension is refused, naming it; empty when it is accepted: not
// empty, no leading dot, no blanks, control characters, "/" or "\".
std::string MimeExtensionProblem(const std::string& extension);

// The German reason a MIME type is refused, naming it; empty when it is accepted: the
// registered form type/subtype, each a name of letters, digits and !#$&^_.+- that begins
// with a letter or digit, optionally followed by parameters "; name=value".
std::string MimeTypeProblem(const std::string& type);

// The text in „“, with control characters as \xNN so that a message never carries them.
std::string Quoted(const std::string& text);
