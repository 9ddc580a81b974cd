// The condition evaluator: the value of one #if, #ifdef, #ifndef or #elif line, looked up in the
// pattern table in three-valued logic. Every malformed condition ends the run with a message
// (line_error: line_no and an excerpt). Which text the excerpt quotes is part of each contract:
// most quote the operand or the text from the faulty term, but the #if expression messages quote
// the whole current line, buff + 1, whatever line or operand they were given.
#pragma once

namespace cond {

// Condition values. COND_UNKNOWN stays inside the evaluator; eval_directive turns it into
// COND_FALSE or COND_KEEP.
constexpr int COND_FALSE = 0;
constexpr int COND_TRUE = 1;
constexpr int COND_UNKNOWN = 2;
constexpr int COND_KEEP = 3;  // leave the conditional as written

// Directive kinds: the first three open a conditional; DIR_ELIF is evaluated inside one.
constexpr int DIR_IFDEF = 0;
constexpr int DIR_IF = 1;
constexpr int DIR_IFNDEF = 2;
constexpr int DIR_ELIF = 3;
// Recognised (directive_kind) but never evaluated.
constexpr int DIR_ELSE = 4;
constexpr int DIR_ENDIF = 5;

constexpr int NAME_MAX_LEN = 255;  // longest name looked up
constexpr int OPERAND_MAX = 4097;  // longest operand the working copy holds

// Evaluates the directive line of the given kind (line starts with blanks and the '#'); stores
// COND_FALSE, COND_TRUE or COND_KEEP in *value and returns the operand (the text behind the
// directive word) within line.
char *eval_directive(int kind, char *line, int *value);

// Value (0, 1 or 2) of an #ifdef/#ifndef operand: one name, or none (COND_FALSE). Returns 0.
// Its messages (a second name, a stray character, an unclosed comment, an operand longer than
// OPERAND_MAX) quote the operand.
int eval_ifdef_expr(const char *operand, int *value);

// Value (0, 1 or 2) of an #if/#elif expression joined by || or by &&. Returns 0. An unclosed
// comment or an operand longer than OPERAND_MAX quotes the operand; a bad literal, mixed || and
// &&, a stray character, a missing term or a trailing operator quote buff + 1.
int eval_if_expr(const char *operand, int *value);

// eval_ifdef_expr and eval_if_expr first try these: the common operands (names, defined( ),
// !defined( ), 0 and 1, all || or all &&, blanks, comments) read in place. Each stores the value
// and returns true, or returns false with *value unchanged for any other operand.
bool eval_ifdef_common(const char *operand, int *value);
bool eval_if_common(const char *operand, int *value);

// The full readings behind eval_ifdef_expr and eval_if_expr, for every operand: same value, same
// messages. Each returns 0.
int eval_ifdef_full(const char *operand, int *value);
int eval_if_full(const char *operand, int *value);

// Reads the name at p (after blanks) and stores its value from the pattern table; returns the
// position behind the name. A name longer than NAME_MAX_LEN ends the run quoting the text at p.
char *eval_name(char *p, int *value);

// Reads "( name )" at p, the text behind the word defined; stores the name's value and returns
// the position behind ')'. A missing parenthesis ends the run quoting the text at p.
char *eval_defined(char *p, int *value);

// Clears the working copy.
void eval_reset();

}  // namespace cond
