#include "cond/cond_xexpr.h"

#include <cstring>

#include "cond/cond_eval.h"
#include "cond/cond_memo.h"
#include "cond/cond_options.h"
#include "support/sj_string.h"

namespace cond {

int xcut_count;
int xcut_from[XNODE_MAX];
int xcut_to[XNODE_MAX];

namespace {

// Operators, also the token codes of punctuators.
enum Op : unsigned char {
    O_NONE,
    O_NUM,    // leaf: a constant, a name, defined
    O_PAREN,  // ( left )
    O_NOT,
    O_COMPL,
    O_POS,
    O_NEG,
    O_MUL,
    O_DIV,
    O_MOD,
    O_ADD,
    O_SUB,
    O_SHL,
    O_SHR,
    O_LT,
    O_GT,
    O_LE,
    O_GE,
    O_EQ,
    O_NE,
    O_BAND,
    O_XOR,
    O_BOR,
    O_LAND,
    O_LOR,
    O_QUEST,  // left ? mid : right
    O_COLON,
    O_LPAR,
    O_RPAR,
};

// States of a value: known, unknown (the lists leave it open), error (a known division by zero
// or an operation the reader does not carry out), which makes the condition malformed wherever
// it is evaluated.
enum State : unsigned char { S_KNOWN, S_UNKNOWN, S_ERROR };

// Types: signed or unsigned 64-bit, or open (an unknown name may stand for either); only
// division, remainder, right shift and the relations depend on it.
enum Type : unsigned char { T_SIGNED, T_UNSIGNED, T_OPEN };

struct Node {
    std::uint64_t v;  // the bits of a known value
    int start, end;   // the text of the term, [start, end)
    int left, mid, right;
    unsigned char op, st, ty;
};

Node nodes[XNODE_MAX];  // xexpr_if: the terms of the condition being read
int node_count;         // xexpr_if: nodes in use

// The text being read, the read position, the token under it and the parse state. Set by each
// reader call; read only during it.
const char *xt;
int xlen;
int xpos;
int tok_kind;   // O_NUM (a number or a name: tok_name), an operator, O_NONE at the end
bool tok_name;  // the token is a name
int tok_start;  // first byte of the token
std::uint64_t tok_v;
int tok_uns;
bool bad;    // the text is not a condition the reader understands
bool named;  // a name, defined or a function-like use was read
int depth;

bool is_ident_start(unsigned char c) { return support::is_letter(c) || c == '_'; }
bool is_ident(unsigned char c) { return support::is_ident_char(c); }

bool is_hex(char c)
{
    return support::is_digit(static_cast<unsigned char>(c)) ||
           ((c | 0x20) >= 'a' && (c | 0x20) <= 'f');
}

int hex_value(char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

// Skips blanks, newlines and comments from xpos; an unclosed block comment makes the text bad.
void skip_space()
{
    while (xpos < xlen) {
        const char c = xt[xpos];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
            xpos++;
        } else if (c == '/' && xpos + 1 < xlen && xt[xpos + 1] == '/') {
            xpos = xlen;
        } else if (c == '/' && xpos + 1 < xlen && xt[xpos + 1] == '*') {
            int p = xpos + 2;
            while (p + 1 < xlen && !(xt[p] == '*' && xt[p + 1] == '/')) {
                p++;
            }
            if (p + 1 >= xlen) {
                bad = true;
                xpos = xlen;
                return;
            }
            xpos = p + 2;
        } else {
            return;
        }
    }
}

// Value of a character constant's body at p (after the quote); stores its end (behind the closing
// quote) in *end. Plain constants of one character only, as the host's signed char gives them.
bool read_char_const(int p, int *end, std::uint64_t *v)
{
    if (p >= xlen || xt[p] == '\'' || xt[p] == '\n') {
        return false;
    }
    unsigned int c = static_cast<unsigned char>(xt[p]);
    if (c == '\\') {
        p++;
        if (p >= xlen) {
            return false;
        }
        const char e = xt[p++];
        static const char simple_from[] = "ntvbrfa\\'\"?";
        static const char simple_to[] = "\n\t\v\b\r\f\a\\'\"?";
        const char *s = std::strchr(simple_from, e);
        if (s != nullptr && e != '\0') {
            c = static_cast<unsigned char>(simple_to[s - simple_from]);
        } else if (e >= '0' && e <= '7') {
            c = static_cast<unsigned int>(e - '0');
            for (int k = 0; k < 2 && p < xlen && xt[p] >= '0' && xt[p] <= '7'; k++) {
                c = c * 8 + static_cast<unsigned int>(xt[p++] - '0');
            }
            if (c > 0xFF) {
                return false;
            }
        } else if (e == 'x') {
            int digits = 0;
            c = 0;
            while (p < xlen && is_hex(xt[p])) {
                c = c * 16 + static_cast<unsigned int>(hex_value(xt[p++]));
                if (c > 0xFF) {
                    return false;
                }
                digits++;
            }
            if (digits == 0) {
                return false;
            }
        } else {
            return false;
        }
    } else {
        if (c >= 0x80) {
            return false;  // a byte of a multibyte character: its value is the compiler's
        }
        p++;
    }
    if (p >= xlen || xt[p] != '\'') {
        return false;
    }
    *end = p + 1;
    // char is signed on the hosts the preprocessor runs on here: '\377' is -1.
    const std::int64_t sv = c >= 0x80 ? static_cast<std::int64_t>(c) - 256 : c;
    *v = static_cast<std::uint64_t>(sv);
    return true;
}

// Reads the token at xpos (after space) into tok_*. A token the reader does not know sets bad.
void next_token()
{
    skip_space();
    tok_start = xpos;
    tok_name = false;
    if (bad || xpos >= xlen) {
        tok_kind = O_NONE;
        return;
    }
    const unsigned char c = static_cast<unsigned char>(xt[xpos]);
    const char n1 = xpos + 1 < xlen ? xt[xpos + 1] : '\0';
    if (is_ident_start(c)) {
        int p = xpos;
        while (p < xlen && is_ident(static_cast<unsigned char>(xt[p]))) {
            p++;
        }
        if (p < xlen && (xt[p] == '\'' || xt[p] == '"')) {
            bad = true;  // a prefixed literal: L'x', u8"x"
        }
        xpos = p;
        tok_kind = O_NUM;
        tok_name = true;
        return;
    }
    if (support::is_digit(c) || (c == '.' && support::is_digit(static_cast<unsigned char>(n1)))) {
        // A preprocessing number: digits, letters, '_', '.', and a sign behind an exponent letter.
        int p = xpos + 1;
        while (p < xlen) {
            const char d = xt[p];
            if ((d == '+' || d == '-') &&
                (xt[p - 1] == 'e' || xt[p - 1] == 'E' || xt[p - 1] == 'p' || xt[p - 1] == 'P')) {
                p++;
            } else if (is_ident(static_cast<unsigned char>(d)) || d == '.') {
                p++;
            } else {
                break;
            }
        }
        int uns = 0;
        if (!xnum_read(xt + xpos, p - xpos, &tok_v, &uns)) {
            bad = true;
        }
        tok_uns = uns;
        xpos = p;
        tok_kind = O_NUM;
        return;
    }
    if (c == '\'') {
        int end = 0;
        if (!read_char_const(xpos + 1, &end, &tok_v)) {
            bad = true;
            tok_kind = O_NONE;
            return;
        }
        tok_uns = 0;
        xpos = end;
        tok_kind = O_NUM;
        return;
    }
    int len = 1;
    int op = O_NONE;
    switch (c) {
    case '(':
        op = O_LPAR;
        break;
    case ')':
        op = O_RPAR;
        break;
    case '~':
        op = O_COMPL;
        break;
    case '*':
        op = O_MUL;
        break;
    case '/':
        op = O_DIV;
        break;
    case '%':
        op = O_MOD;
        break;
    case '+':
        op = O_ADD;
        break;
    case '-':
        op = O_SUB;
        break;
    case '^':
        op = O_XOR;
        break;
    case '?':
        op = O_QUEST;
        break;
    case ':':
        op = O_COLON;
        break;
    case '!':
        op = n1 == '=' ? O_NE : O_NOT;
        len = n1 == '=' ? 2 : 1;
        break;
    case '=':
        if (n1 == '=') {
            op = O_EQ;
            len = 2;
        }
        break;
    case '<':
        if (n1 == '<') {
            op = O_SHL;
            len = 2;
        } else {
            op = n1 == '=' ? O_LE : O_LT;
            len = n1 == '=' ? 2 : 1;
        }
        break;
    case '>':
        if (n1 == '>') {
            op = O_SHR;
            len = 2;
        } else {
            op = n1 == '=' ? O_GE : O_GT;
            len = n1 == '=' ? 2 : 1;
        }
        break;
    case '&':
        op = n1 == '&' ? O_LAND : O_BAND;
        len = n1 == '&' ? 2 : 1;
        break;
    case '|':
        op = n1 == '|' ? O_LOR : O_BOR;
        len = n1 == '|' ? 2 : 1;
        break;
    default:
        break;
    }
    // An assignment such as "+=" leaves a lone '=' behind, which no condition holds.
    if (op == O_NONE) {
        bad = true;
        tok_kind = O_NONE;
        return;
    }
    xpos += len;
    tok_kind = op;
}

// A new node, or -1 (and bad) when the array is full.
int new_node(int op, int start, int end)
{
    if (node_count >= XNODE_MAX) {
        bad = true;
        return -1;
    }
    Node &n = nodes[node_count];
    n.v = 0;
    n.start = start;
    n.end = end;
    n.left = n.mid = n.right = -1;
    n.op = static_cast<unsigned char>(op);
    n.st = S_KNOWN;
    n.ty = T_SIGNED;
    return node_count++;
}

int leaf(int start, int end, std::uint64_t v, int st, int ty)
{
    const int i = new_node(O_NUM, start, end);
    if (i >= 0) {
        nodes[i].v = v;
        nodes[i].st = static_cast<unsigned char>(st);
        nodes[i].ty = static_cast<unsigned char>(ty);
    }
    return i;
}

// The leaf of the name of len bytes at p: its value from the pattern table.
int name_leaf(int start, int end)
{
    const int len = end - start;
    if (len > NAME_MAX_LEN) {
        bad = true;
        return -1;
    }
    const int pat = memo_pattern(xt + start, static_cast<std::size_t>(len));
    if (pat >= 0) {
        if (list_value[pat] == COND_TRUE) {
            return leaf(start, end, list_num[pat], S_KNOWN, list_uns[pat] ? T_UNSIGNED : T_SIGNED);
        }
        return leaf(start, end, 0, S_KNOWN, T_SIGNED);
    }
    if (list_mode & LIST_MODE_UNDEF) {
        return leaf(start, end, 0, S_KNOWN, T_SIGNED);
    }
    return leaf(start, end, 0, S_UNKNOWN, T_OPEN);
}

// Whether the name at p (ending at end) is defined, as a leaf of type int.
int defined_leaf(int start, int end, int name_start, int name_end)
{
    const int len = name_end - name_start;
    if (len > NAME_MAX_LEN) {
        bad = true;
        return -1;
    }
    const int pat = memo_pattern(xt + name_start, static_cast<std::size_t>(len));
    if (pat >= 0) {
        return leaf(start, end, list_value[pat] == COND_TRUE ? 1 : 0, S_KNOWN, T_SIGNED);
    }
    if (list_mode & LIST_MODE_UNDEF) {
        return leaf(start, end, 0, S_KNOWN, T_SIGNED);
    }
    return leaf(start, end, 0, S_UNKNOWN, T_SIGNED);
}

bool word_is(int start, int end, const char *w)
{
    const int n = static_cast<int>(std::strlen(w));
    return end - start == n && std::memcmp(xt + start, w, static_cast<std::size_t>(n)) == 0;
}

// From the '(' at xpos: skips to behind the matching ')', over literals and comments. False when
// it is not closed.
bool skip_call()
{
    int level = 0;
    int p = xpos;
    while (p < xlen) {
        const char c = xt[p];
        if (c == '(') {
            level++;
        } else if (c == ')') {
            if (--level == 0) {
                xpos = p + 1;
                return true;
            }
        } else if (c == '"' || c == '\'') {
            p++;
            while (p < xlen && xt[p] != c && xt[p] != '\n') {
                p += xt[p] == '\\' ? 2 : 1;
            }
            if (p >= xlen || xt[p] != c) {
                return false;
            }
        } else if (c == '/' && p + 1 < xlen && xt[p + 1] == '*') {
            xpos = p;
            skip_space();
            if (bad) {
                return false;
            }
            p = xpos;
            continue;
        } else if (c == '/' && p + 1 < xlen && xt[p + 1] == '/') {
            return false;
        }
        p++;
    }
    return false;
}

Type common_type(int a, int b)
{
    if (a == T_UNSIGNED || b == T_UNSIGNED) {
        return T_UNSIGNED;
    }
    return a == T_OPEN || b == T_OPEN ? T_OPEN : T_SIGNED;
}

bool truth(const Node &n) { return n.v != 0; }

// Sets the value of a unary node from its operand.
void eval_unary(Node &n, const Node &a)
{
    n.ty = n.op == O_NOT ? static_cast<unsigned char>(T_SIGNED) : a.ty;
    n.st = a.st;
    if (a.st != S_KNOWN) {
        return;
    }
    switch (n.op) {
    case O_NOT:
        n.v = a.v == 0 ? 1 : 0;
        break;
    case O_COMPL:
        n.v = ~a.v;
        break;
    case O_NEG:
        n.v = 0 - a.v;
        break;
    default:
        n.v = a.v;
        break;
    }
}

bool is_negative(std::uint64_t v) { return (v >> 63) != 0; }

// Sets the value of a binary arithmetic or relational node from its operands.
void eval_binary(Node &n, const Node &a, const Node &b)
{
    const int op = n.op;
    const bool relation = op == O_LT || op == O_GT || op == O_LE || op == O_GE;
    const bool compare = relation || op == O_EQ || op == O_NE;
    const Type ty =
        (op == O_SHL || op == O_SHR) ? static_cast<Type>(a.ty) : common_type(a.ty, b.ty);
    n.ty = compare ? T_SIGNED : ty;
    if (a.st == S_ERROR || b.st == S_ERROR) {
        n.st = S_ERROR;
        return;
    }
    if (a.st != S_KNOWN || b.st != S_KNOWN) {
        n.st = S_UNKNOWN;
        return;
    }
    const bool sign_matters = relation || op == O_DIV || op == O_MOD || op == O_SHR;
    if (sign_matters && ty == T_OPEN) {
        n.st = S_UNKNOWN;  // the operand of open type decides between two readings
        return;
    }
    const bool uns = ty == T_UNSIGNED;
    const std::uint64_t x = a.v;
    const std::uint64_t y = b.v;
    const std::int64_t sx = static_cast<std::int64_t>(x);
    const std::int64_t sy = static_cast<std::int64_t>(y);
    n.st = S_KNOWN;
    switch (op) {
    case O_MUL:
        n.v = x * y;
        break;
    case O_ADD:
        n.v = x + y;
        break;
    case O_SUB:
        n.v = x - y;
        break;
    case O_BAND:
        n.v = x & y;
        break;
    case O_XOR:
        n.v = x ^ y;
        break;
    case O_BOR:
        n.v = x | y;
        break;
    case O_EQ:
        n.v = x == y ? 1 : 0;
        break;
    case O_NE:
        n.v = x != y ? 1 : 0;
        break;
    case O_LT:
        n.v = (uns ? x < y : sx < sy) ? 1 : 0;
        break;
    case O_GT:
        n.v = (uns ? x > y : sx > sy) ? 1 : 0;
        break;
    case O_LE:
        n.v = (uns ? x <= y : sx <= sy) ? 1 : 0;
        break;
    case O_GE:
        n.v = (uns ? x >= y : sx >= sy) ? 1 : 0;
        break;
    case O_DIV:
    case O_MOD:
        if (y == 0 || (!uns && sx == INT64_MIN && sy == -1)) {
            n.st = S_ERROR;
        } else if (uns) {
            n.v = op == O_DIV ? x / y : x % y;
        } else {
            n.v = static_cast<std::uint64_t>(op == O_DIV ? sx / sy : sx % sy);
        }
        break;
    case O_SHL:
    case O_SHR:
        // A count the width does not hold, or a negative one, is the compiler's business.
        if ((b.ty != T_UNSIGNED && is_negative(y)) || y >= 64) {
            n.st = S_ERROR;
        } else if (op == O_SHL) {
            n.v = x << y;
        } else if (uns || !is_negative(x)) {
            n.v = x >> y;
        } else {
            n.v = ~(~x >> y);  // an arithmetic shift of a negative value
        }
        break;
    default:
        n.st = S_ERROR;
        break;
    }
}

// Sets the value of && or || from its operands, as far as they decide it.
void eval_logic(Node &n, const Node &a, const Node &b)
{
    n.ty = T_SIGNED;
    const bool is_and = n.op == O_LAND;
    // The operand that decides alone: false for &&, true for ||.
    const auto decides = [is_and](const Node &x) {
        return x.st == S_KNOWN && (is_and ? !truth(x) : truth(x));
    };
    if (a.st == S_ERROR) {
        n.st = S_ERROR;
    } else if (decides(a)) {
        n.st = S_KNOWN;
        n.v = is_and ? 0 : 1;
    } else if (b.st == S_ERROR) {
        n.st = S_ERROR;
    } else if (decides(b)) {
        n.st = S_KNOWN;
        n.v = is_and ? 0 : 1;
    } else if (a.st == S_KNOWN && b.st == S_KNOWN) {
        n.st = S_KNOWN;
        n.v = is_and ? 1 : 0;
    } else {
        n.st = S_UNKNOWN;
    }
}

int parse_cond();

// A primary expression with its unary operators.
int parse_unary()
{
    if (bad) {
        return -1;
    }
    if (++depth > XDEPTH_MAX) {
        bad = true;
        return -1;
    }
    const int start = tok_start;
    int r = -1;
    if (tok_kind == O_ADD || tok_kind == O_SUB || tok_kind == O_NOT || tok_kind == O_COMPL) {
        const int op = tok_kind == O_ADD ? O_POS : tok_kind == O_SUB ? O_NEG : tok_kind;
        next_token();
        const int a = parse_unary();
        if (a >= 0) {
            r = new_node(op, start, nodes[a].end);
            if (r >= 0) {
                nodes[r].left = a;
                eval_unary(nodes[r], nodes[a]);
            }
        }
    } else if (tok_kind == O_LPAR) {
        next_token();
        const int a = parse_cond();
        if (a >= 0 && tok_kind == O_RPAR) {
            r = new_node(O_PAREN, start, xpos);
            if (r >= 0) {
                nodes[r].left = a;
                nodes[r].v = nodes[a].v;
                nodes[r].st = nodes[a].st;
                nodes[r].ty = nodes[a].ty;
            }
            next_token();
        } else {
            bad = true;
        }
    } else if (tok_kind == O_NUM && !tok_name) {
        r = leaf(start, xpos, tok_v, S_KNOWN, tok_uns ? T_UNSIGNED : T_SIGNED);
        next_token();
    } else if (tok_kind == O_NUM) {
        named = true;
        const int name_end = xpos;
        if (word_is(start, name_end, "defined")) {
            next_token();
            const bool paren = tok_kind == O_LPAR;
            if (paren) {
                next_token();
            }
            if (tok_kind != O_NUM || !tok_name) {
                bad = true;
            } else {
                const int ns = tok_start;
                const int ne = xpos;
                next_token();
                if (paren && tok_kind != O_RPAR) {
                    bad = true;
                } else {
                    const int end = paren ? xpos : ne;
                    r = defined_leaf(start, end, ns, ne);
                    if (paren) {
                        next_token();
                    }
                }
            }
        } else {
            skip_space();
            if (!bad && xpos < xlen && xt[xpos] == '(') {
                // A function-like use: __has_include(<x.h>), FOO(1). Its value is open.
                if (!skip_call()) {
                    bad = true;
                } else {
                    r = leaf(start, xpos, 0, S_UNKNOWN, T_OPEN);
                    next_token();
                }
            } else {
                r = name_leaf(start, name_end);
                next_token();
            }
        }
    } else {
        bad = true;
    }
    depth--;
    return bad ? -1 : r;
}

// Binding strength of a binary operator, 0 for none.
int binary_prec(int op)
{
    switch (op) {
    case O_MUL:
    case O_DIV:
    case O_MOD:
        return 10;
    case O_ADD:
    case O_SUB:
        return 9;
    case O_SHL:
    case O_SHR:
        return 8;
    case O_LT:
    case O_GT:
    case O_LE:
    case O_GE:
        return 7;
    case O_EQ:
    case O_NE:
        return 6;
    case O_BAND:
        return 5;
    case O_XOR:
        return 4;
    case O_BOR:
        return 3;
    case O_LAND:
        return 2;
    case O_LOR:
        return 1;
    default:
        return 0;
    }
}

// Binary operators of strength min_prec and above, left to right.
int parse_binary(int min_prec)
{
    int lhs = parse_unary();
    while (lhs >= 0 && !bad) {
        const int op = tok_kind;
        const int prec = binary_prec(op);
        if (prec == 0 || prec < min_prec) {
            break;
        }
        next_token();
        if (++depth > XDEPTH_MAX) {
            bad = true;
            return -1;
        }
        const int rhs = parse_binary(prec + 1);
        depth--;
        if (rhs < 0) {
            return -1;
        }
        const int n = new_node(op, nodes[lhs].start, nodes[rhs].end);
        if (n < 0) {
            return -1;
        }
        nodes[n].left = lhs;
        nodes[n].right = rhs;
        if (op == O_LAND || op == O_LOR) {
            eval_logic(nodes[n], nodes[lhs], nodes[rhs]);
        } else {
            eval_binary(nodes[n], nodes[lhs], nodes[rhs]);
        }
        lhs = n;
    }
    return bad ? -1 : lhs;
}

// A conditional expression: a ? b : c, right to left.
int parse_cond()
{
    if (++depth > XDEPTH_MAX) {
        bad = true;
        return -1;
    }
    int r = parse_binary(1);
    if (r >= 0 && tok_kind == O_QUEST) {
        next_token();
        const int mid = parse_cond();
        if (mid < 0 || tok_kind != O_COLON) {
            bad = true;
            depth--;
            return -1;
        }
        next_token();
        const int right = parse_cond();
        if (right < 0) {
            depth--;
            return -1;
        }
        const int n = new_node(O_QUEST, nodes[r].start, nodes[right].end);
        if (n < 0) {
            depth--;
            return -1;
        }
        Node &q = nodes[n];
        const Node &c = nodes[r];
        const Node &m = nodes[mid];
        const Node &e = nodes[right];
        q.left = r;
        q.mid = mid;
        q.right = right;
        q.ty = common_type(m.ty, e.ty);
        if (c.st != S_KNOWN) {
            q.st = c.st;
        } else {
            const Node &pick = truth(c) ? m : e;
            q.st = pick.st;
            q.v = pick.v;
        }
        r = n;
    }
    depth--;
    return bad ? -1 : r;
}

// Records the range [from, to) to leave out.
void cut(int from, int to)
{
    if (xcut_count < XNODE_MAX) {
        xcut_from[xcut_count] = from;
        xcut_to[xcut_count] = to;
        xcut_count++;
    }
}

// Gathers the cuts within the unknown term i; boolean says that only its truth counts where it
// stands (the condition itself, an operand of !, && and ||, the condition of ?:, a branch of a
// ?: that stands so).
void simplify(int i, bool boolean)
{
    const Node &n = nodes[i];
    if (n.st != S_UNKNOWN) {
        return;
    }
    switch (n.op) {
    case O_PAREN:
        simplify(n.left, boolean);
        break;
    case O_NOT:
        simplify(n.left, true);
        break;
    case O_LAND:
    case O_LOR: {
        const Node &a = nodes[n.left];
        const Node &b = nodes[n.right];
        // An operand is known only when it cannot decide alone (the node is unknown): true for
        // &&, false for ||. It can go with its operator where nothing but truth counts.
        if (boolean && a.st == S_KNOWN) {
            cut(a.start, b.start);
            simplify(n.right, true);
        } else if (boolean && b.st == S_KNOWN) {
            simplify(n.left, true);
            cut(a.end, b.end);
        } else {
            simplify(n.left, true);
            simplify(n.right, true);
        }
        break;
    }
    case O_QUEST:
        simplify(n.left, true);
        simplify(n.mid, boolean);
        simplify(n.right, boolean);
        break;
    case O_NUM:
        break;
    default:
        if (n.left >= 0) {
            simplify(n.left, false);
        }
        if (n.right >= 0) {
            simplify(n.right, false);
        }
        break;
    }
}

void start_reading(const char *text, int len)
{
    xt = text;
    xlen = len;
    xpos = 0;
    bad = false;
    named = false;
    depth = 0;
    node_count = 0;
    xcut_count = 0;
    next_token();
}

}  // namespace

bool xnum_read(const char *p, int n, std::uint64_t *value, int *uns)
{
    int i = 0;
    int base = 10;
    if (n >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = 16;
        i = 2;
    } else if (n >= 2 && p[0] == '0' && (p[1] == 'b' || p[1] == 'B')) {
        base = 2;
        i = 2;
    } else if (n >= 1 && p[0] == '0') {
        base = 8;
    }
    const int digits_from = i;
    std::uint64_t v = 0;
    bool over = false;
    for (; i < n; i++) {
        const char c = p[i];
        int d;
        if (c >= '0' && c <= '9') {
            d = c - '0';
        } else if (base == 16 && is_hex(c)) {
            d = hex_value(c);
        } else {
            break;
        }
        if (d >= base) {
            return false;  // 09, 0b2
        }
        const std::uint64_t b = static_cast<std::uint64_t>(base);
        if (v > (UINT64_MAX - static_cast<std::uint64_t>(d)) / b) {
            over = true;
        }
        v = v * b + static_cast<std::uint64_t>(d);
    }
    if (i == digits_from || over) {
        return false;
    }
    // Suffixes: u, l, ll (either case, ll not mixed), in either order.
    bool u = false;
    int l = 0;
    while (i < n) {
        const char c = p[i];
        if ((c == 'u' || c == 'U') && !u) {
            u = true;
            i++;
        } else if ((c == 'l' || c == 'L') && l == 0) {
            l = 1;
            i++;
            if (i < n && p[i] == c) {
                l = 2;
                i++;
            }
        } else {
            return false;
        }
    }
    *value = v;
    // A constant too large for the signed type is unsigned (for decimal ones the preprocessor
    // says so with a warning).
    *uns = (u || v > static_cast<std::uint64_t>(INT64_MAX)) ? 1 : 0;
    return true;
}

int xexpr_if(const char *text, int len)
{
    start_reading(text, len);
    const int root = parse_cond();
    if (bad || root < 0 || tok_kind != O_NONE) {
        xcut_count = 0;
        return X_BAD;
    }
    const Node &r = nodes[root];
    if (r.st == S_ERROR) {
        return X_BAD;
    }
    if (!named && !(list_mode & LIST_MODE_UNDEF)) {
        return X_UNKNOWN;  // #if 0, #if 1: left as written while the lists leave names open
    }
    if (r.st == S_UNKNOWN) {
        simplify(root, true);
        return X_UNKNOWN;
    }
    return truth(r) ? X_TRUE : X_FALSE;
}

int xexpr_ifdef(const char *text, int len)
{
    start_reading(text, len);
    if (tok_kind != O_NUM || !tok_name) {
        return X_BAD;
    }
    const int ns = tok_start;
    const int ne = xpos;
    next_token();
    if (bad || tok_kind != O_NONE) {
        return X_BAD;
    }
    const int i = defined_leaf(ns, ne, ns, ne);
    if (i < 0) {
        return X_BAD;
    }
    if (nodes[i].st != S_KNOWN) {
        return X_UNKNOWN;
    }
    return truth(nodes[i]) ? X_TRUE : X_FALSE;
}

void xexpr_reset()
{
    std::memset(nodes, 0, sizeof nodes);
    node_count = 0;
    xcut_count = 0;
    std::memset(xcut_from, 0, sizeof xcut_from);
    std::memset(xcut_to, 0, sizeof xcut_to);
    xt = nullptr;
    xlen = xpos = 0;
    tok_kind = O_NONE;
    tok_name = false;
    tok_start = 0;
    tok_v = 0;
    tok_uns = 0;
    bad = named = false;
    depth = 0;
}

}  // namespace cond
