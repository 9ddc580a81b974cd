// A plain model of the condition evaluator's rules, for the fuzz targets: the value of a directive
// line, or the exact message (formatted as the message formatter cuts it) of a line that fails.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "cond/cond_eval.h"
#include "cond/cond_match.h"

namespace fuzz_model {

struct Failed {
    std::string message;
};

inline bool letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool ident(char c) { return letter(c) || (c >= '0' && c <= '9') || c == '_'; }
inline bool blank(char c) { return c == ' ' || c == '\t'; }

// The model. Texts are std::string up to their first NUL, as the evaluator sees them.
struct CondModel {
    std::vector<const char *> patterns;  // converted patterns, looked up with cond::match
    std::vector<int> values;
    bool undef_outside = false;  // list_mode flag 4
    std::string line;            // the current line, up to its first NUL
    int line_no = 0;

    static std::string excerpt(const std::string &text)
    {
        std::string t = text.substr(0, 999);
        t = t.substr(0, t.find('\n'));
        return "[" + t + "]";
    }

    // The message formatter's rules for "%d" then "%s": a string that would pass 1024 bytes is
    // cut at 768, and no format step starts at 1024 bytes or more.
    std::string format(const char *fmt, const std::string &text) const
    {
        std::string out;
        for (const char *f = fmt; *f != '\0' && out.size() < 1024; f++) {
            if (f[0] == '%' && f[1] == 'd') {
                out += std::to_string(line_no);
                f++;
            } else if (f[0] == '%' && f[1] == 's') {
                out += out.size() + text.size() <= 1024 ? text : text.substr(0, 768 - out.size());
                f++;
            } else {
                out += *f;
            }
        }
        return out;
    }

    [[noreturn]] void error(const char *fmt, const std::string &at) const
    {
        throw Failed{format(fmt, excerpt(at))};
    }

    int lookup(const std::string &name) const
    {
        for (size_t i = 0; i < patterns.size(); i++) {
            if (cond::match(patterns[i], name.c_str())) {
                return values[i];
            }
        }
        return undef_outside ? 0 : 2;
    }

    // Reads the name at i of text; returns the position behind it.
    size_t name(const std::string &text, size_t i, int &value) const
    {
        const size_t start = i;
        while (i < text.size() && blank(text[i])) {
            i++;
        }
        size_t end = i;
        while (end < text.size() && ident(text[end])) {
            end++;
        }
        if (end - i >= 256) {
            error("Error: %d: %s: cannot analyze.\n", text.substr(start));
        }
        value = lookup(text.substr(i, end - i));
        return end;
    }

    size_t defined(const std::string &text, size_t i, int &value) const
    {
        const size_t start = i;
        while (i < text.size() && blank(text[i])) {
            i++;
        }
        if (i >= text.size() || text[i] != '(') {
            error("Error: %d: %s: invalid statement.\n", text.substr(start));
        }
        i = name(text, i + 1, value);
        while (i < text.size() && blank(text[i])) {
            i++;
        }
        if (i >= text.size() || text[i] != ')') {
            error("Error: %d: %s: invalid statement.\n", text.substr(start));
        }
        return i + 1;
    }

    // Deletes a comment opened at i through its close, searched from the "/*" itself; false when
    // no comment opens at i. A comment left open ends the evaluation with unclosed_fmt.
    bool cut_comment(std::string &w, size_t i, const char *unclosed_fmt,
                     const std::string &operand) const
    {
        if (w.compare(i, 2, "/*") != 0) {
            return false;
        }
        const size_t close = w.find("*/", i);
        if (close == std::string::npos) {
            error(unclosed_fmt, operand);
        }
        w.erase(i, close + 2 - i);
        return true;
    }

    int ifdef_expr(const std::string &operand) const
    {
        std::string w = operand;
        int value = 0;
        bool seen = false;
        for (size_t i = 0; i < w.size();) {
            if (w.compare(i, 2, "//") == 0) {
                break;
            }
            if (cut_comment(w, i, "Error: %d: %s: invalid statement.\n", operand)) {
                continue;
            }
            if (letter(w[i])) {
                if (seen) {
                    error("Error(#1): %d: %s: cannot analyze.\n", operand);
                }
                i = name(w, i, value);
                seen = true;
            } else if (blank(w[i]) || w[i] == '\n') {
                i++;
            } else {
                error("Error(#2): %d: %s: cannot analyze.\n", operand);
            }
        }
        return value;
    }

    int if_expr(const std::string &operand) const
    {
        std::string w = operand;
        for (size_t i = 0; i < w.size();) {
            if (w.compare(i, 2, "//") == 0) {
                w.resize(i);
                break;
            }
            if (cut_comment(w, i, "Error: %d: %s: comment is not closed.\n", operand)) {
                continue;
            }
            const bool negated = w.compare(i, 8, "!defined") == 0;
            if (negated || w.compare(i, 7, "defined") == 0) {
                int v;
                size_t end = defined(w, i + (negated ? 8 : 7), v);
                if (negated) {
                    v = v == 2 ? 2 : 1 - v;
                }
                w.replace(i, end - i, std::string(1, static_cast<char>('0' + v)) + " ");
                i += 2;
            } else if (letter(w[i])) {
                int v;
                size_t end = name(w, i, v);
                w.replace(i, end - i, std::string(1, static_cast<char>('0' + v)));
                i += 1;
            } else if (w[i] >= '0' && w[i] <= '9') {
                if ((w[i] != '0' && w[i] != '1') || (i + 1 < w.size() && ident(w[i + 1]))) {
                    error("Error(#3): %d: %s: cannot analyze.\n", line);
                }
                if (!undef_outside) {
                    w[i] = '2';
                }
                i++;
            } else {
                i++;
            }
        }
        int result = -1;
        int op = 0;  // 0 none, 1 OR, 2 AND
        bool last_operator = false;
        for (size_t i = 0; i < w.size() && w[i] != '\n';) {
            if (w.compare(i, 2, "||") == 0 || w.compare(i, 2, "&&") == 0) {
                const int this_op = w[i] == '|' ? 1 : 2;
                if (op != 0 && op != this_op) {
                    error(this_op == 1 ? "Error(#4): %d: %s: cannot analyze.\n"
                                       : "Error(#5): %d: %s: cannot analyze.\n",
                          line);
                }
                op = this_op;
                last_operator = true;
                i += 2;
            } else if (w[i] >= '0' && w[i] <= '2' && !(i + 1 < w.size() && ident(w[i + 1]))) {
                const int v = w[i] - '0';
                if (result < 0) {
                    result = v;
                } else if (op == 1) {
                    result = (result == 1 || v == 1) ? 1 : (result == 2 || v == 2) ? 2 : 0;
                } else if (op == 2) {
                    result = (result == 0 || v == 0) ? 0 : (result == 2 || v == 2) ? 2 : 1;
                }
                last_operator = false;
                i++;
            } else if (blank(w[i])) {
                i++;
            } else {
                error("Error(#6): %d: %s: cannot analyze.\n", line);
            }
        }
        if (result < 0 || last_operator) {
            error("Error: %d: %s: invalid statement.\n", line);
        }
        return result;
    }

    int directive(int kind) const
    {
        size_t i = 0;
        while (i < line.size() && blank(line[i])) {
            i++;
        }
        i++;  // the '#'
        while (i < line.size() && blank(line[i])) {
            i++;
        }
        while (i < line.size() && letter(line[i])) {
            i++;
        }
        while (i < line.size() && blank(line[i])) {
            i++;
        }
        const std::string operand = line.substr(std::min(i, line.size()));
        int v =
            kind == cond::DIR_IF || kind == cond::DIR_ELIF ? if_expr(operand) : ifdef_expr(operand);
        return v == 2 ? (undef_outside ? cond::COND_FALSE : cond::COND_KEEP) : v;
    }
};

}  // namespace fuzz_model
