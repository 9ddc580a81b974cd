// Unified diffs of one file's rewrite, for patch -p0: every byte of every line, CR LF and
// Shift_JIS included, with "\ No newline at end of file" where a last line has no newline.
#pragma once

#include <string>

namespace tree {

constexpr int DIFF_CONTEXT = 3;  // unchanged lines shown around each change

// Appends to out the diff that turns old_text into new_text, both headers naming the file name
// (quoted C-style when it holds blanks, quotes, backslashes or control bytes). Nothing is
// appended when the texts are equal. Where new_text keeps whole lines of old_text in order (all
// velkrun does), the diff only deletes lines; otherwise it replaces the text whole.
void diff_append(std::string &out, const std::string &name, const std::string &old_text,
                 const std::string &new_text);

// The name as a diff header writes it.
std::string diff_name(const std::string &name);

}  // namespace tree
