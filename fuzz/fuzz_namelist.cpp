// Fuzz target: the name-list library driven by a random sequence of operations on two lists (one
// of names with integers, one of names with second strings), each mirrored in a plain vector
// model of its chain, empty entries included. After every operation the results and the whole
// chain must agree with the model; both lists are released at the end, so a lost record or
// string shows up as a leak.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_bytes.h"
#include "namelist/nl_lookup.h"
#include "namelist/nl_sort.h"
#include "namelist/nl_store.h"
#include "support/mem_block.h"
#include "support/text_cmp.h"

using namespace namelist;

namespace {

struct Ent {
    std::optional<std::string> name;  // none: an empty entry
    int32_t value = 0;                // the integer list's value
    std::optional<std::string> arg;   // the two-string list's second string
    int16_t sub_no = 0;
    uint16_t aux = 0;
};

using Model = std::vector<Ent>;  // the chain from the head, record by record

[[noreturn]] void fail(const char *what, int step)
{
    std::fprintf(stderr, "name list disagrees with the model at step %d: %s\n", step, what);
    std::abort();
}

// The hash as the library defines it, written plainly.
int32_t ref_hash(const std::string &s)
{
    uint32_t h = 0;
    for (size_t i = 0; i < s.size(); i++) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
        if (lead && i + 1 < s.size()) {
            h += static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
            h += static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(s[i + 1])));
            i++;
            continue;
        }
        if (c >= 'a' && c <= 'z') {
            c = static_cast<unsigned char>(c - 32);
        }
        h += static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
    }
    return static_cast<int32_t>(h);
}

std::vector<const Ent *> named(const Model &m)
{
    std::vector<const Ent *> v;
    for (const Ent &e : m) {
        if (e.name) {
            v.push_back(&e);
        }
    }
    return v;
}

// Index in the model of the first named record holding name, or -1.
int find_record(const Model &m, const std::string &name)
{
    for (size_t i = 0; i < m.size(); i++) {
        if (m[i].name && *m[i].name == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// Compares the whole chain with the model.
void check_chain(NAME_LST *head, const Model &m, bool strings, int step)
{
    NAME_LST *r = head;
    for (size_t i = 0; i < m.size(); i++, r = r->next) {
        if (r == nullptr) {
            fail("chain shorter than the model", step);
        }
        const Ent &e = m[i];
        if (static_cast<bool>(e.name) != (r->name != nullptr)) {
            fail("empty entry where the model has a name, or the reverse", step);
        }
        if (e.name && (*e.name != r->name || r->hash != ref_hash(*e.name))) {
            fail("name or hash", step);
        }
        if (strings) {
            const char *s = nl_str(r);
            if (static_cast<bool>(e.arg) != (s != nullptr) || (s && *e.arg != s)) {
                fail("second string", step);
            }
        } else if (nl_int(r) != e.value) {
            fail("value", step);
        }
        if (r->sub_no != e.sub_no || r->aux != e.aux) {
            fail("sub_no or aux", step);
        }
    }
    if (r != nullptr) {
        fail("chain longer than the model", step);
    }
}

// Reads the chain's contents back into the model (after a sort, whose order of equal entries is
// free), keeping the second strings, which no sort moves.
void adopt(NAME_LST *head, Model &m)
{
    NAME_LST *r = head;
    for (Ent &e : m) {
        e.name = r->name ? std::optional<std::string>(r->name) : std::nullopt;
        e.value = nl_int(r);
        e.sub_no = r->sub_no;
        e.aux = r->aux;
        r = r->next;
    }
}

int strcmp_sign(int c) { return (c > 0) - (c < 0); }

struct Runner {
    FuzzBytes in;
    int step = 0;
    NAME_LST ints{};  // head of the integer list
    NAME_LST strs{};  // head of the two-string list
    Model mi{Ent{}};
    Model ms{Ent{}};
    int tail3 = -1;    // model index of add_list3's remembered tail, -1 none, -2 not known
    int tail2 = -1;    // the same for add_list2
    int iter_pos = 0;  // the model of the one iterator
    int iter_step = 0;

    explicit Runner(FuzzBytes bytes) : in(bytes) {}

    std::string draw_name()
    {
        // A small alphabet makes names collide, differ only in case, carry sort keys (0x01) and
        // Shift_JIS pairs (0x82 0x61 folds differently from a lone lower-case letter).
        static const char alphabet[] = "aAbB_z\x01\x82\xa0\x61\xff";
        size_t len = in.below(5);
        std::string s;
        for (size_t i = 0; i < len; i++) {
            s += alphabet[in.below(sizeof alphabet - 1)];
        }
        return s;
    }

    void expect(bool ok, const char *what)
    {
        if (!ok) {
            fail(what, step);
        }
    }

    // Appends a record, or fills the last one when it is empty (add_list).
    static void append_or_fill_last(Model &m, const std::string &name)
    {
        if (!m.back().name) {
            m.back().name = name;
        } else {
            Ent e;
            e.name = name;
            m.push_back(e);
        }
    }

    // add_name family on the model; returns the record index changed, or -1 when the name was
    // present under the duplicate rule.
    static int model_add_name(Model &m, const std::string &name)
    {
        int empty = -1;
        for (size_t i = 0; i < m.size(); i++) {
            if (!m[i].name) {
                if (empty < 0) {
                    empty = static_cast<int>(i);
                }
            } else if (name_lst_dup_check && *m[i].name == name) {
                return -1;
            }
        }
        if (empty < 0) {
            m.push_back(Ent{});
            empty = static_cast<int>(m.size()) - 1;
        }
        m[empty].name = name;
        return empty;
    }

    void op_ints()
    {
        std::string name = draw_name();
        switch (in.below(16)) {
        case 0:
            expect(add_list(&ints, name.c_str()) == 0, "add_list result");
            append_or_fill_last(mi, name);
            break;
        case 1: {
            int32_t v = in.int32();
            // With find_tail 0 the record goes behind the remembered tail and cuts off whatever
            // stands after it; only a tail that is still the last record is left to be used.
            int find = tail3 == static_cast<int>(mi.size()) - 1 || tail3 == -1 ? in.below(2) : 1;
            int r = add_list3(&ints, name.c_str(), v, find);
            if (!find && tail3 == -1) {
                expect(r == -1, "add_list3 without a tail");
                break;
            }
            expect(r == 0, "add_list3 result");
            if (!mi.back().name) {
                mi.back().name = name;
                mi.back().value = v;
            } else {
                Ent e;
                e.name = name;
                e.value = v;
                mi.push_back(e);
            }
            tail3 = static_cast<int>(mi.size()) - 1;
            break;
        }
        case 2:
        case 3: {
            bool three = in.byte() & 1;
            int32_t v = three ? in.int32() : 0;
            int r = three ? add_name3(&ints, name.c_str(), v) : add_name(&ints, name.c_str());
            expect(r == 0, "add_name result");
            int k = model_add_name(mi, name);
            if (k >= 0) {
                mi[k].value = v;
            }
            break;
        }
        case 4: {
            int k = find_record(mi, name);
            expect(del_name(&ints, name.c_str()) == (k < 0 ? -1 : 0), "del_name result");
            if (k >= 0) {
                mi[k].name.reset();
            }
            break;
        }
        case 5: {
            std::string to = draw_name();
            int k = find_record(mi, name);
            expect(ren_name(&ints, name.c_str(), to.c_str()) == (k < 0 ? -1 : 0),
                   "ren_name result");
            if (k >= 0) {
                mi[k].name = to;
            }
            break;
        }
        case 6: {
            // set_allname takes the strings themselves and releases none of the old names, so the
            // caller releases those, and the new strings that find no record.
            int count = static_cast<int>(in.below(static_cast<uint32_t>(mi.size()) + 3));
            std::vector<char *> fresh;
            for (int i = 0; i < count; i++) {
                fresh.push_back(support::setstr(draw_name().c_str()));
            }
            std::vector<char *> old;
            for (NAME_LST *r = &ints; r; r = r->next) {
                old.push_back(r->name);
            }
            set_allname(&ints, fresh.data(), count);
            for (char *o : old) {
                support::freemem(o);
            }
            for (size_t i = 0; i < fresh.size(); i++) {
                if (i >= mi.size()) {
                    support::freemem(fresh[i]);
                }
            }
            for (size_t i = 0; i < mi.size(); i++) {
                mi[i].value = 0;
                mi[i].name = static_cast<int>(i) < count ? std::optional<std::string>(fresh[i])
                                                         : std::nullopt;
            }
            break;
        }
        case 7:
            del_allname(&ints);
            mi.resize(1);
            mi[0].name.reset();
            // A tail on a released record is forgotten; one on the head may still be held.
            tail3 = tail3 == 0 ? -2 : -1;
            break;
        case 8:
            name_sort_mode = in.byte() & 1;
            sort_ints();
            break;
        case 9:
            sort2_ints();
            break;
        case 10: {
            // The caller's own numbers, written through the entry at a position.
            int pos = static_cast<int>(in.below(6)) - 1;
            NAME_LST *e = get_namePtr2(&ints, pos);
            auto nv = named(mi);
            expect(e == nullptr
                       ? pos < 0 || pos >= static_cast<int>(nv.size())
                       : pos >= 0 && pos < static_cast<int>(nv.size()) && e->name == *nv[pos]->name,
                   "get_namePtr2");
            if (e != nullptr) {
                e->sub_no = static_cast<int16_t>(in.int32());
                e->aux = static_cast<uint16_t>(in.int32());
                Ent &m = const_cast<Ent &>(*nv[pos]);
                m.sub_no = e->sub_no;
                m.aux = e->aux;
            }
            break;
        }
        case 11:
            name_lst_dup_check = in.byte() & 1;
            break;
        default:
            lookups(name);
            break;
        }
        check_chain(&ints, mi, false, step);
    }

    void sort_ints()
    {
        auto before = named(mi);
        std::vector<Ent> items;
        for (const Ent *e : before) {
            items.push_back(*e);
        }
        expect(name_sort(&ints) == 0, "name_sort result");
        if (items.size() < 2) {
            check_chain(&ints, mi, false, step);
            return;
        }
        // Empty records stay put; the named ones hold the same entries in comparator order.
        Model after = mi;
        adopt(&ints, after);
        for (size_t i = 0; i < mi.size(); i++) {
            expect(static_cast<bool>(mi[i].name) == static_cast<bool>(after[i].name),
                   "name_sort moved an empty entry");
        }
        auto now = named(after);
        auto key = [](const Ent &a, const Ent &b) {
            if (name_sort_mode && a.value != b.value) {
                return static_cast<uint32_t>(a.value) < static_cast<uint32_t>(b.value);
            }
            return support::StrCmp(a.name->c_str(), b.name->c_str()) < 0;
        };
        for (size_t i = 1; i < now.size(); i++) {
            expect(!key(*now[i], *now[i - 1]), "name_sort order");
        }
        auto same = [](const Ent &a, const Ent &b) {
            return a.name == b.name && a.value == b.value && a.sub_no == b.sub_no && a.aux == b.aux;
        };
        std::vector<bool> used(items.size());
        for (const Ent *e : now) {
            size_t k = 0;
            while (k < items.size() && (used[k] || !same(items[k], *e))) {
                k++;
            }
            expect(k < items.size(), "name_sort lost or changed an entry");
            used[k] = true;
        }
        mi = after;
    }

    void sort2_ints()
    {
        std::vector<std::string> names;
        for (const Ent *e : named(mi)) {
            names.push_back(*e->name);
        }
        expect(name_sort2(&ints) == 0, "name_sort2 result");
        if (names.size() < 2) {
            check_chain(&ints, mi, false, step);
            return;
        }
        std::stable_sort(names.begin(), names.end(),
                         [](const std::string &a, const std::string &b) {
                             return support::StrCmp(a.c_str(), b.c_str()) < 0;
                         });
        auto strip = [](const std::string &s) {
            size_t k = s.find('\x01');
            return k == std::string::npos ? s : s.substr(k + 1);
        };
        // Names that compare equal may come in any order: compare group by group.
        std::vector<std::string> got;
        for (NAME_LST *r = nl_named(&ints); r; r = nl_named(r->next)) {
            got.push_back(r->name);
        }
        expect(got.size() == names.size(), "name_sort2 count");
        for (size_t i = 0; i < names.size();) {
            size_t j = i + 1;
            while (j < names.size() && support::StrCmp(names[i].c_str(), names[j].c_str()) == 0) {
                j++;
            }
            std::vector<std::string> want, have(got.begin() + i, got.begin() + j);
            for (size_t k = i; k < j; k++) {
                want.push_back(strip(names[k]));
            }
            std::sort(want.begin(), want.end());
            std::sort(have.begin(), have.end());
            expect(want == have, "name_sort2 order or key removal");
            i = j;
        }
        // Only names and hashes move: values and numbers stay with their records.
        size_t k = 0;
        for (Ent &e : mi) {
            if (e.name) {
                e.name = got[k++];
            }
        }
    }

    void lookups(const std::string &name)
    {
        auto nv = named(mi);
        int n = static_cast<int>(nv.size());
        NAME_LST *list = in.below(8) == 0 ? nullptr : &ints;
        if (list == nullptr) {
            nv.clear();
            n = 0;
        }
        switch (in.below(9)) {
        case 0:
            expect(count_names(list) == n, "count_names");
            break;
        case 1: {
            int pos = static_cast<int>(in.below(8)) - 2;
            char *s = get_name2(list, pos);
            expect(pos >= 0 && pos < n ? s && *nv[pos]->name == s : s == nullptr, "get_name2");
            break;
        }
        case 2:
        case 3: {
            bool folded = in.byte() & 1;
            int want = -1;
            for (int i = 0; i < n && want < 0; i++) {
                const std::string &e = *nv[i]->name;
                bool eq = folded ? ref_hash(e) == ref_hash(name) &&
                                       support::StrCmp(e.c_str(), name.c_str()) == 0
                                 : e == name;
                if (eq) {
                    want = i;
                }
            }
            int got = folded ? get_NameNo(list, name.c_str()) : get_nameNo(list, name.c_str());
            expect(got == want, folded ? "get_NameNo" : "get_nameNo");
            expect(check_name(list, name.c_str()) == (find_record(mi, name) >= 0 && list),
                   "check_name");
            break;
        }
        case 4: {
            int flag = in.byte() & 1;
            int want = 0;
            for (int i = 0; i < n; i++) {
                const char *e = nv[i]->name->c_str();
                int c = flag ? support::StrCmp(name.c_str(), e)
                             : strcmp_sign(std::strcmp(name.c_str(), e));
                if (c == 0) {
                    want = i;
                    break;
                }
                if (c > 0) {
                    want = -i;
                }
            }
            expect(get_nameNo2(list, name.c_str(), flag) == want, "get_nameNo2");
            break;
        }
        case 5: {
            int32_t group = n > 0 && (in.byte() & 1) ? nv[in.below(n)]->value : in.int32() % 4;
            int number = static_cast<int>(in.below(5)) - 2;
            int want = -1;
            bool met = false;
            for (int i = 0; i < n; i++) {
                if (nv[i]->value == group) {
                    if (nv[i]->sub_no == number) {
                        want = i;
                        break;
                    }
                    met = true;
                } else if (met) {
                    break;
                }
            }
            expect(get_nameNoByGroupNo(list, group, number) == want, "get_nameNoByGroupNo");
            break;
        }
        case 6: {
            NAME_AREA area;
            area.value = 12345;
            int count = get_namearea(list, name.c_str(), &area);
            int k = -1;
            for (int i = 0; i < n && k < 0; i++) {
                if (*nv[i]->name == name) {
                    k = i;
                }
            }
            if (k < 0) {
                expect(count == 0 && area.name == nullptr && area.value == 12345 && area.count == 0,
                       "get_namearea miss");
                break;
            }
            int32_t group = nv[k]->value;
            int first = -1, last = 0, cnt = 0;
            for (int i = 0; i < n; i++) {
                if (nv[i]->value == group) {
                    if (first < 0) {
                        first = i;
                    }
                    last = i;
                    cnt++;
                } else if (first >= 0) {
                    break;
                }
            }
            expect(count == cnt && area.count == cnt && area.first == first && area.last == last &&
                       area.value == group && area.name && name == area.name,
                   "get_namearea");
            break;
        }
        case 7: {
            int k = find_record(mi, name);
            expect(get_name_value(list, name.c_str()) == (k < 0 || !list ? 0 : mi[k].value),
                   "get_name_value");
            break;
        }
        default: {
            int mode = static_cast<int>(in.below(3)) - 1;
            if (mode == 0) {
                iter_pos = 0;
                iter_step = 1;
            } else if (mode == -1) {
                iter_step = -1;
                iter_pos = n - 1;
            }
            char *s = get_name(list, mode);
            if (iter_pos >= 0 && iter_pos < n) {
                expect(s && *nv[iter_pos]->name == s, "get_name");
                iter_pos += iter_step;
            } else {
                expect(s == nullptr, "get_name past the end");
            }
            break;
        }
        }
    }

    void op_strs()
    {
        std::string name = draw_name();
        switch (in.below(5)) {
        case 0: {
            std::string arg = draw_name();
            int find = tail2 == static_cast<int>(ms.size()) - 1 || tail2 == -1 ? in.below(2) : 1;
            int r = add_list2(&strs, name.c_str(), arg.c_str(), find);
            if (!find && tail2 == -1) {
                expect(r == -1, "add_list2 without a tail");
                break;
            }
            expect(r == 0, "add_list2 result");
            if (ms.back().name) {
                ms.push_back(Ent{});
            }
            ms.back().name = name;
            ms.back().arg = arg;
            tail2 = static_cast<int>(ms.size()) - 1;
            break;
        }
        case 1: {
            std::string arg = draw_name();
            expect(add_name2(&strs, name.c_str(), arg.c_str()) == 0, "add_name2 result");
            int k = model_add_name(ms, name);
            if (k >= 0) {
                ms[k].arg = arg;
            }
            break;
        }
        case 2: {
            int k = find_record(ms, name);
            expect(del_name2(&strs, name.c_str()) == (k < 0 ? -1 : 0), "del_name2 result");
            if (k >= 0) {
                ms[k].name.reset();
                ms[k].arg.reset();
            }
            break;
        }
        case 3:
            del_allname2(&strs);
            ms.resize(1);
            ms[0].name.reset();
            ms[0].arg.reset();
            tail2 = tail2 == 0 ? -2 : -1;
            break;
        default: {
            int k = find_record(ms, name);
            NAME_LST *e = ser_name(&strs, name.c_str());
            expect(k < 0 ? e == nullptr : e != nullptr && nl_str(e) && *ms[k].arg == nl_str(e),
                   "ser_name");
            break;
        }
        }
        check_chain(&strs, ms, true, step);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    nl_store_reset();
    nl_lookup_reset();
    nl_sort_reset();
    Runner run{FuzzBytes(data, size)};
    name_init(&run.ints);
    name_init(&run.strs);
    while (run.in.left > 0 && run.step < 400) {
        run.step++;
        if (run.in.byte() & 0x80) {
            run.op_strs();
        } else {
            run.op_ints();
        }
    }
    del_allname(&run.ints);
    del_allname2(&run.strs);
    return 0;
}
