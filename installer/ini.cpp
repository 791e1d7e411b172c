// The settings store: named texts with per-setting modes, and the filling of $(name)
// references from it.
#include "ini.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_set>

#include "lib.h"
#include "log.h"

namespace installer {

namespace {

constexpr int TABLE_STEP = 5;  // the least growth of the table; it grows by half its size
constexpr unsigned NAME_MAX_LEN = LINE_SIZE - 1;  // longest reference name taken
constexpr std::size_t VALUE_MAX = LINE_SIZE - 1;  // a filtered or rewritten value's limit
// However the settings refer to each other, one value is never rewritten more often.
constexpr int MAX_REWRITES = 1000;

bool has_table(const Ini *x) { return x && x->list; }

// The values of the setting at `index`, or null when there is no such setting.
ini_item *item_at(Ini *x, int index) {
  if (!has_table(x) || !x->data || index < 0 || index >= x->data->items) return nullptr;
  return x->data->data[static_cast<std::size_t>(index)].get();
}

// The table entry at an index known to be in the table.
const SettingList &entry_at(const Ini *x, int index) {
  return (*x->list)[static_cast<std::size_t>(index)];
}

std::string fold(std::string_view name) {
  std::string folded(name);
  for (char &c : folded) c = static_cast<char>(charmap[static_cast<unsigned char>(c)]);
  return folded;
}

// Puts the setting at `index` into both indexes; an earlier setting of the same name keeps
// its place, since lookups find the first setting with a name.
void index_name(Ini *x, int index) {
  const std::string &name = entry_at(x, index).setting;
  x->exact.try_emplace(name, index);
  x->folded.try_emplace(fold(name), index);
}

int lookup(const NameIndex &index, std::string_view name) {
  auto it = index.find(name);
  return it == index.end() ? -1 : it->second;
}

// The first setting named exactly `name`, or -1; the store has its table.
int find_exact(const Ini *x, const char *name) { return lookup(x->exact, name); }

// The first setting whose name equals `name` ignoring letter case, or -1; the store has its
// table.
int find_folded(const Ini *x, const char *name) { return lookup(x->folded, fold(name)); }

std::uint64_t mix(std::uint64_t z) {
  z += 0x9e3779b97f4a7c15u;
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
  return z ^ (z >> 31);
}

// A second hash of a text, independent of the standard one (FNV-1a).
std::uint64_t fnv(std::string_view text) {
  std::uint64_t h = 0xcbf29ce484222325u;
  for (unsigned char c : text) h = (h ^ c) * 0x100000001b3u;
  return h;
}

// The setting's share of the store's digest: its index, whether it has values and the
// cursor stands on the first, and that first value.
IniState share(int index, const Linklist &values) {
  std::string_view first;
  std::uint64_t how = 2;  // no value
  if (!values.root.empty()) {
    first = values.root.front();
    how = values.current == values.root.begin() ? 1 : 0;
  }
  std::uint64_t where = static_cast<std::uint64_t>(index) * 3 + how;
  return {mix(std::hash<std::string_view>{}(first) ^ mix(where)), mix(fnv(first) ^ ~mix(where))};
}

// Brings the store's digest in step after the setting at `index` may have changed.
void restate(Ini *x, int index, ini_item *item) {
  IniState now = share(index, *item->values);
  x->state.a += now.a - item->seen.a;
  x->state.b += now.b - item->seen.b;
  item->seen = now;
}

bool shows_password(const Ini *x, int mode) { return (x->mode & Ini_UsePass) && (mode & Ini_Pass); }

std::unique_ptr<ini_item> new_item() {
  auto item = std::make_unique<ini_item>();
  item->values = list_init();
  item->assoc = list_init();
  return item;
}

void cut(std::string &value) {
  if (value.size() > VALUE_MAX) value.resize(VALUE_MAX);
}

std::string run_filters(const Ini *x, int mode, std::string value) {
  if (!(mode & Ini_XTRAMask) || !x->xtra) return value;
  for (int i = 0; i < x->xtra->items; i++) {
    const Xtra *f = x->xtra->data[static_cast<std::size_t>(i)].get();
    if (!f->fn || !(f->flag & mode)) continue;  // the array holds no null
    value = f->fn(value);
    cut(value);
  }
  return value;
}

// The length of the reference name that starts at `p` (just after "$("): up to ')' or
// the end of the text, at most NAME_MAX_LEN characters.
std::size_t name_length(const char *p) {
  std::size_t n = 0;
  while (n < NAME_MAX_LEN && p[n] && p[n] != ')') n++;
  return n;
}

// Appends `text` (len characters) to `out` as far as it fits into bfsz - 1 characters.
void append_cut(std::string &out, const char *text, std::size_t len, unsigned bfsz) {
  std::size_t room = bfsz - 1 - std::min<std::size_t>(out.size(), bfsz - 1);
  out.append(text, std::min(len, room));
}

}  // namespace

std::unique_ptr<Ini> ini_init() {
  auto x = std::make_unique<Ini>();
  x->data = array_init<ini_item>();
  x->mode = Ini_DefaultMode;
  return x;
}

void ini_setup(Ini *x, const std::vector<SettingList> *list, const int *assoc, int use_dflts) {
  (void)assoc;  // associations are never given
  if (!x || !list) return;
  std::size_t n = 0;
  while (n < list->size() && !(*list)[n].setting.empty()) n++;

  // Built aside and swapped in at the end, so `list` may even be the store's own table.
  auto table = std::make_unique<std::vector<SettingList>>(n + 1);
  auto data = array_init<ini_item>();
  for (std::size_t i = 0; i < n; i++) {
    const SettingList &from = (*list)[i];
    SettingList &to = (*table)[i];
    to.setting = from.setting;
    to.mode = from.mode;
    auto item = new_item();
    if (use_dflts && from.dflt) list_add(item->values.get(), from.dflt->c_str());
    dmsg("Ini setting '%s' setup", to.setting.c_str());
    array_add(data.get(), std::move(item));
  }
  x->list = std::move(table);
  x->data = std::move(data);
  x->items = static_cast<int>(n);
  x->size = static_cast<int>(n + 1);
  x->exact.clear();
  x->folded.clear();
  x->state = {};
  for (int i = 0; i < x->items; i++) {
    index_name(x, i);
    restate(x, i, item_at(x, i));
  }
}

const char *ini_value(Ini *x, int index) {
  ini_item *item = item_at(x, index);
  if (!item || ((x->mode & Ini_UseLock) && (entry_at(x, index).mode & Ini_Lock))) return nullptr;
  // A read puts the cursor on the first value, so that the next add goes in front of it.
  Linklist *values = item->values.get();
  bool moves = values->current != values->root.begin();
  list_start(values);
  if (moves) restate(x, index, item);
  return list_get(values);
}

const char *ini_value_name(Ini *x, const char *label) {
  if (!has_table(x) || !label) return nullptr;
  int index = find_exact(x, label);
  return index < 0 ? nullptr : ini_value(x, index);
}

int ini_add_name(Ini *x, const char *name, const char *value) {
  if (!has_table(x) || !name || !value) return 0;
  int index = find_exact(x, name);
  if (index >= 0) return do_add(x, index, value);
  if (x->mode & Ini_UseNew) return create_setting(x, name, value);
  return 0;
}

int create_setting(Ini *x, const char *label, const char *value) {
  if (!has_table(x) || !x->data || !label || !value) return 0;
  if (!(x->mode & Ini_NewEmpty) && !*value) return -1;

  if (x->size <= x->items + 1) {
    int grown = x->size + std::max(TABLE_STEP, x->size / 2);
    try {
      x->list->resize(static_cast<std::size_t>(grown));
    } catch (const std::bad_alloc &) {
      emsg("Memory allocation error");
      return -1;  // the entry has no place to go: refused, the table as it was
    }
    x->size = grown;
  }

  int mode = Ini_None;
  if (x->mode & Ini_NewMulti) mode |= Ini_Multi;
  if (x->mode & Ini_NewPass) mode |= Ini_Pass;
  if (x->mode & Ini_NewFixed) mode |= Ini_Fixed;
  if (x->mode & Ini_NewEmpty) mode |= Ini_Empty;
  if (x->mode & Ini_NewLock) mode |= Ini_Lock;

  // The cursor stays behind the first value, so adds before any read go in behind it.
  auto item = new_item();
  list_add(item->values.get(), value);
  ini_item *held = item.get();
  if (!array_add_num(x->data.get(), std::move(item), x->items)) return -1;

  SettingList &entry = (*x->list)[static_cast<std::size_t>(x->items)];
  entry.setting = label;
  entry.dflt.reset();
  entry.mode = mode;
  if (shows_password(x, mode))
    dmsg("Ini setting '%s' created and set to 'xxxx'", label);
  else
    dmsg("Ini setting '%s' created and set to '%s'", label, value);
  index_name(x, x->items);
  restate(x, x->items, held);
  x->items++;
  return 1;
}

int do_add(Ini *x, int index, const char *value) {
  ini_item *item = item_at(x, index);
  if (!item || !value) return 0;
  const SettingList &entry = entry_at(x, index);
  const char *name = entry.setting.c_str();

  // The store's own copy comes first: `value` may be one of this setting's values, and the
  // single-value rule below may release it.
  std::string copy = run_filters(x, entry.mode, value);
  if ((x->mode & Ini_UsePath) && (entry.mode & Ini_Path)) {
    cut(copy);
    std::replace(copy.begin(), copy.end(), '\\', '/');
  }
  if ((x->mode & Ini_UseFixed) && (entry.mode & Ini_Fixed)) {
    dmsg("Ini value for '%s' not addded, value is fixed", name);
    return -1;
  }
  if (copy.empty() && (x->mode & Ini_UseEmpty) && !(entry.mode & Ini_Empty)) {
    dmsg("Ini value for '%s' not added, value was empty", name);
    return -1;
  }

  Linklist *values = item->values.get();
  if (list_items(values) > 0 && (x->mode & Ini_UseMulti) && !(entry.mode & Ini_Multi))
    list_del(values);
  list_add(values, copy.c_str());
  restate(x, index, item);

  if (shows_password(x, entry.mode))
    dmsg("Ini value for '%s' set to 'xxxx'", name);
  else
    dmsg("Ini value for '%s' set to '%s'", name, copy.c_str());
  return 1;
}

void ini_free(std::unique_ptr<Ini> *x) {
  if (x) x->reset();
}

void ini_free_xtra(std::unique_ptr<Xtra> *x) {
  if (x) x->reset();
}

IniState ini_state(const Ini *x) { return x ? x->state : IniState{}; }

void ini_replace(Ini *x, const char *string, char *result, unsigned bfsz) {
  if (!x || !string || !result || bfsz == 0) return;
  // Built aside first, so that `result` may be the very buffer `string` lies in.
  std::string out;
  const char *p = string;
  while (const char *ref = std::strstr(p, "$(")) {
    std::size_t before = static_cast<std::size_t>(ref - p);
    // Text that cannot be written whole ends the filling; the rest goes out as it is.
    if (before >= bfsz - out.size()) break;
    out.append(p, before);

    const char *start = ref + 2;
    std::size_t len = name_length(start);
    std::string name(start, len);
    p = start + len;
    if (*p == ')') p++;

    if (const char *value = ini_value_name(x, name.c_str()))
      append_cut(out, value, std::strlen(value), bfsz);
  }
  append_cut(out, p, std::strlen(p), bfsz);
  std::memcpy(result, out.c_str(), out.size() + 1);
}

namespace {

// Resolves the references of one stored value; `values` stands on that value and is left
// standing on its final text.
//
// Filling a reference whose setting refers back to it, directly or through other settings,
// would go on for ever, so such a reference is left in place unfilled and the scan moves on
// past it. It is recognised in two ways: the replacement still holds that very reference
// (as in 'path' = '$(path):/bin'), or the rewrite would give the value a text it already held
// while being resolved (a loop through several settings, or a value that no longer changes
// at the length limit). As a last guard no value is rewritten more than MAX_REWRITES times.
void process_value(Ini *x, Linklist *values) {
  std::string value = list_get(values);
  std::unordered_set<std::string> held{value};
  std::size_t from = 0;
  int rewrites = 0;
  std::size_t ref;
  while ((ref = value.find("$(", from)) != std::string::npos) {
    from = ref + 1;
    std::size_t len = name_length(value.c_str() + ref + 2);
    std::string name = value.substr(ref + 2, len);
    int index = find_folded(x, name.c_str());
    // An unknown name stays as written; so does a reference without its ')', which no
    // pattern can match.
    if (index < 0 || value.c_str()[ref + 2 + len] != ')') continue;

    std::string pattern = "$(" + name + ")";
    std::optional<std::string> replacement;
    const SettingList &entry = entry_at(x, index);
    ini_item *item = item_at(x, index);
    if ((entry.mode & Ini_Replace) && item && !item->values->root.empty())
      replacement = item->values->root.front();
    if (replacement && replacement->find(pattern) != std::string::npos) continue;

    char rewritten[LINE_SIZE];
    sreplace(value.c_str(), pattern.c_str(), opt_cstr(replacement), rewritten, LINE_SIZE);
    if (held.count(rewritten) || rewrites >= MAX_REWRITES) continue;

    dmsg("Replaced '%s' in '%s' with '%s' = '%s'", pattern.c_str(), value.c_str(),
         opt_cstr(replacement), rewritten);
    // The new text takes the old one's place and becomes current again.
    list_del(values);
    list_add(values, rewritten);
    list_prev(values);
    value = rewritten;
    held.insert(value);
    rewrites++;
    from = 0;
  }
}

}  // namespace

int ini_process(Ini *x) {
  if (!has_table(x)) return 0;
  dmsg("Processing replacable settings...");
  for (int i = 0; i < x->items; i++) {
    ini_item *item = item_at(x, i);  // there is one at every index below items
    Linklist *values = item->values.get();
    for (list_start(values); list_get(values); list_next(values)) process_value(x, values);
    restate(x, i, item);
  }
  dmsg("Finished processing replacable settings");
  return 1;
}

}  // namespace installer
