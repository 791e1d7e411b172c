// The front end: start-up, options, banner, menu, the init command loop and the four flows.
#include "installer.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <string>

#include "copy.h"
#include "file.h"
#include "ini.h"
#include "init.h"
#include "lib.h"
#include "log.h"
#include "quest.h"
#include "shared.h"
#include "signals.h"
#include "tcp.h"

namespace installer {

std::optional<std::string> myname;
std::optional<std::string> special_mode;
int automate = 0;

namespace {

// Set by an option that ends the run before any companion file is read. main() honours it
// after process_args so that the log and the store are still released on the way out.
std::optional<int> exit_request;

const char *product_name(Ini *ini) {
  const char *name = ini_value_name(ini, "product");
  return name ? name : "NONAME";
}

// A working-directory path of a companion file: cwd, name, ext. A working directory that
// cannot be read leaves a relative name, which still resolves against it.
void companion_path(char *path, const char *name, const char *ext) {
  if (!currentdir(path, PATH_SIZE)) path[0] = '\0';
  attach_path(path, name, PATH_SIZE);
  attach_ext(path, ext, PATH_SIZE);
}

const char *base_name() { return myname ? myname->c_str() : "install"; }

}  // namespace

// ---------------------------------------------------------------------------------------
// Options, banner, menu, closing text, progress callbacks

void process_args(Log *log, char **argv, unsigned argc) {
  if (!argv) return;
  for (unsigned i = 1; i < argc; i++) {
    const char *arg = argv[i];
    if (!arg) continue;
    if (std::strcmp(arg, "-debug") == 0) {
      if (log) log_set_level(log, LogDebug);
      imsg("Logging set to debug");
    } else if (std::strcmp(arg, "-version") == 0) {
      con_print("Installer version %s\n", VERSION);
      exit_request = 0;
      return;
    } else if (std::strcmp(arg, "-automate") == 0) {
      imsg("Automated install/upgrade...");
      automate = 1;
    } else if (std::strcmp(arg, "-special") == 0) {
      if (i + 1 >= argc || !argv[i + 1]) {
        con_print("Usage: install -special <tag>\n");
        exit_request = 1;
        return;
      }
      special_mode = argv[++i];
      imsg("Special mode [%s]", special_mode->c_str());
    }
  }
}

void print_header(Ini *ini) {
  con_print("======================================================\n");
  con_print("             Welcome to the %s installer\n", product_name(ini));
  con_print(" You will be asked a series of questions, for each a\n");
  con_print(" default answer will be provided (thus), to accept the\n");
  con_print(" default simply press <enter>, otherwise enter a new\n");
  con_print(" answer and press <enter>\n");
  con_print("======================================================\n");
}

void print_menu(Ini *ini) {
  const char *name = product_name(ini);
  con_print("\n");
  con_print("1. Install %s\n", name);
  con_print("2. Upgrade %s\n", name);
  con_print("3. Remove %s\n", name);
  con_print("4. Exit\n");
}

void print_blurb(Ini *ini) {
  std::FILE *f = file_open_read("blurb.txt");
  if (!f) return;
  con_print("\n");
  char line[LINE_SIZE];
  char result[LINE_SIZE];
  while (const char *text = read_line(f, line, LINE_SIZE)) {
    ini_replace(ini, text, result, LINE_SIZE);  // the run's store is always there: it fills result
    con_print("%s\n", result);
  }
  s_fclose(&f);
}

void printdot(const char *, const char *, int) {
  static unsigned upto = 0;
  con_print(".");
  if (++upto % 5 == 0) con_flush();
}

void printerror(const char *, const char *, int) { con_print("\nError: %s\n", tcp_error()); }

// ---------------------------------------------------------------------------------------
// Init commands

void run_init_commands(Init *init, Ini *ini) {
  for (IItem *item = init_get_num(init, 0); item; item = init_get(init)) {
    if (init_applies(ini, *item)) init_do(ini, *item);
  }
}

// ---------------------------------------------------------------------------------------
// The flows: one question loop and one copy step, told apart by a small table.

namespace {

enum class Report { BytesAndFiles, FilesRemoved, FilesDone };

struct FlowKind {
  const char *title;      // opening "[title]"; null: the -special tag
  const char *section;    // section of both files; null: the -special tag
  bool fill_error;        // fill the references of an error entry's text
  const char *copy_line;  // printed before the copy step
  bool stop_on_fail;      // count bytes too and stop at the first failing command
  Report report;
};

const FlowKind InstallFlow = {"Install",        "install", false,
                              "Copying files[", true,      Report::BytesAndFiles};
const FlowKind UpgradeFlow = {"Upgrade",        "upgrade", true,
                              "Copying files[", true,      Report::BytesAndFiles};
const FlowKind RemoveFlow = {"Remove",          "remove", false,
                             "Removing files[", false,    Report::FilesRemoved};
const FlowKind SpecialFlow = {nullptr, nullptr, false, "Executing[", false, Report::FilesDone};

// What the handling of one entry asks the question loop to do next.
enum class Next { Advance, Back, Again, Jump, Fail, Quit };

// Watches the question loop between two answers read from the console. Until the next answer
// nothing outside the loop changes (the disk is not written before the copy step), so once
// the loop stands at an entry with the store looking exactly as it did before, it would go
// round for ever. Brent's method: one saved state is compared with each new one and moved on
// whenever the steps since it reach the next power of two, which finds any cycle within
// about twice its length and never fires on a loop that still changes something.
class RoundCheck {
 public:
  bool seen(int index, IniState store) {
    if (saved_ && saved_->index == index && saved_->store == store) return true;
    if (++steps_ == span_) {
      saved_ = Point{index, store};
      steps_ = 0;
      span_ *= 2;
    }
    return false;
  }

 private:
  struct Point {
    int index;
    IniState store;
  };
  std::optional<Point> saved_;
  unsigned long steps_ = 0;
  unsigned long span_ = 1;
};

struct Flow {
  const FlowKind &kind;
  Ini *ini;
  Questions *q;
  char reply[LINE_SIZE] = "";
  int target = 0;  // the entry a Jump goes to
  RoundCheck rounds = {};
};

const char *tag_or(const char *text) {
  return text ? text : (special_mode ? special_mode->c_str() : "");
}

bool is_lone(const char *reply, char letter) {
  return charmap[static_cast<unsigned char>(reply[0])] == letter && reply[1] == '\0';
}

bool question_applies(Flow &f, unsigned index) {
  const char *v = ini_value_name(f.ini, quest_control(f.q, index));
  const char *cmp_name = quest_control_cmp(f.q, index);
  const char *c = ini_value_name(f.ini, cmp_name);
  if (!c) c = cmp_name;
  if (!v) return true;
  if (!c) return istrue(v) != 0;
  return std::strcmp(v, c) == 0;
}

Next entry_copy(Flow &f, unsigned index) {
  const char *v = ini_value_name(f.ini, quest_text(f.q, index));
  if (v) {
    std::string value = v;  // the store may drop v while it takes the new value
    ini_add_name(f.ini, quest_setting(f.q, index), value.c_str());
  }
  return Next::Advance;
}

Next entry_exist(Flow &f, unsigned index) {
  char temp[LINE_SIZE] = "";
  ini_replace(f.ini, quest_text(f.q, index), temp, LINE_SIZE);
  ini_add_name(f.ini, quest_setting(f.q, index), file_exist(temp) ? "true" : "false");
  return Next::Advance;
}

Next entry_error(Flow &f, unsigned index) {
  const char *v = ini_value_name(f.ini, quest_setting(f.q, index));
  if (!v || !isfalse(v)) return Next::Advance;
  const char *text = quest_text(f.q, index);
  char message[LINE_SIZE] = "";
  if (f.kind.fill_error) {
    ini_replace(f.ini, text, message, LINE_SIZE);
  } else {
    scpy(message, text, LINE_SIZE);
  }
  con_print("Error: %s\n", message);
  return Next::Fail;
}

// A jump past the last entry ends the pass, as running off the end does. There is nothing
// before the first entry to jump to: that is taken as a slip in the file, and the loop goes
// on with the next entry.
Next entry_loop(Flow &f, unsigned index) {
  const char *v = ini_value_name(f.ini, quest_setting(f.q, index));
  if (!v || !isfalse(v)) return Next::Advance;
  int target = s_atoi(quest_text(f.q, index));
  if (target < 0) {
    emsg("Loop at entry %u goes to entry %d, which is not in the section", index, target);
    return Next::Advance;
  }
  f.target = target;
  return Next::Jump;
}

// In automated mode the default is the answer; a question without one cannot be answered.
int take_default(Flow &f, unsigned index) {
  if (quest_default(f.q, index, f.reply, LINE_SIZE)) return 1;
  quest_seterror_at(0, "You must enter an answer");  // no system call failed
  return 0;
}

Next entry_question(Flow &f, unsigned index) {
  if (!question_applies(f, index)) return Next::Advance;
  int got = 0;
  if (automate) {
    got = take_default(f, index);
  } else {
    got = quest_ask(f.q, index, f.reply, LINE_SIZE);
    f.rounds = RoundCheck();  // an answer was read: what follows may differ
  }
  // End of input leaves no answer to go on with: back to the menu, which then ends the run.
  if (got == QUEST_EOF) return Next::Quit;
  if (got == 1) {
    if (is_lone(f.reply, 'q')) return Next::Quit;
    if (is_lone(f.reply, 'b')) return Next::Back;
    if (quest_answer(f.q, index, f.reply)) return Next::Advance;
  }
  con_print("Error: %s, please try again\n", quest_error());
  return automate ? Next::Fail : Next::Again;
}

Next handle_entry(Flow &f, unsigned index) {
  switch (quest_type(f.q, index)) {
    case QCopy:
      return entry_copy(f, index);
    case QXExist:
      return entry_exist(f, index);
    case QError:
      return entry_error(f, index);
    case QLoop:
      return entry_loop(f, index);
    default:
      return entry_question(f, index);
  }
}

int report_endless(int index) {
  char why[LINE_SIZE];
  snprintf(why, LINE_SIZE,
           "The questions go round for ever: entry %d comes back with no answer read and "
           "no setting changed",
           index);
  emsg("%s", why);
  con_print("Error: %s\n", why);
  return FAILED;
}

// One pass over the section: SUCEEDED when its end is reached, else FAILED or QUIT.
int walk_entries(Flow &f) {
  const int count = quest_count(f.q);
  int index = 0;
  f.rounds = RoundCheck();
  while (index < count) {
    if (f.rounds.seen(index, ini_state(f.ini))) return report_endless(index);
    switch (handle_entry(f, static_cast<unsigned>(index))) {
      case Next::Advance:
        index++;
        break;
      case Next::Back:
        // Nothing comes before the first entry: b there asks the first question again.
        if (index > 0) index--;
        break;
      case Next::Again:
        break;
      case Next::Jump:
        index = f.target;
        break;
      case Next::Fail:
        return FAILED;
      case Next::Quit:
        return QUIT;
    }
  }
  return SUCEEDED;
}

// The question loop with its closing question: SUCEEDED, FAILED or QUIT.
int ask_questions(Flow &f) {
  for (;;) {
    int result = walk_entries(f);
    if (result != SUCEEDED || automate) return result;
    con_print("Do you want to change your answers [n]? ");
    con_flush();
    // As at a question, end of input leaves no answer: back to the menu, nothing copied.
    if (!con_readline(f.reply, LINE_SIZE)) return QUIT;
    if (!istrue(s_strtrm(f.reply))) return SUCEEDED;
  }
}

void report_copy(const FlowKind &kind, int ok, unsigned files, ByteCount bytes) {
  if (!ok) {
    con_print("]\nFailed, %s", copy_error());
  } else if (kind.report == Report::BytesAndFiles) {
    con_print("]\nSuccess %llu bytes in %u files copied\n", bytes, files);
  } else if (kind.report == Report::FilesRemoved) {
    con_print("]\n Success %u files removed\n", files);
  } else {
    con_print("]\n Success %u files done.\n", files);
  }
}

void run_copy_step(const FlowKind &kind, Ini *ini, char *path) {
  char file[PATH_SIZE];
  strip_file(path, file, PATH_SIZE);
  attach_path(path, base_name(), PATH_SIZE);
  attach_ext(path, ".cpy", PATH_SIZE);
  std::unique_ptr<Copy> copy = copy_init(ini);
  copy_setup(copy.get(), printdot, printerror);
  if (copy_load(copy.get(), path, tag_or(kind.section))) {
    con_print("%s", kind.copy_line);
    con_flush();  // the opening bracket shows before the dots start to come
    unsigned files = 0;
    ByteCount bytes = 0;
    int ok = copy_process(copy.get(), &files, kind.stop_on_fail ? &bytes : nullptr,
                          kind.stop_on_fail ? 1 : 0);
    report_copy(kind, ok, files, bytes);
  }
  copy_free(&copy);
}

int run_flow(const FlowKind &kind, Ini *ini) {
  std::unique_ptr<Questions> q = quest_init(ini);
  int result = SUCEEDED;
  con_print("[%s]\n", tag_or(kind.title));
  char path[PATH_SIZE];
  companion_path(path, base_name(), ".q");
  if (!quest_load(q.get(), path, tag_or(kind.section))) {
    emsg("Error loading questions");
    result = FAILED;
  } else {
    Flow f{kind, ini, q.get()};
    result = ask_questions(f);
  }
  quest_free(&q);
  if (result != SUCEEDED) return result;
  run_copy_step(kind, ini, path);
  return result;
}

}  // namespace

int install_product(Ini *ini) { return run_flow(InstallFlow, ini); }
int upgrade_product(Ini *ini) { return run_flow(UpgradeFlow, ini); }
int remove_product(Ini *ini) { return run_flow(RemoveFlow, ini); }
int do_special(Ini *ini) { return run_flow(SpecialFlow, ini); }

// ---------------------------------------------------------------------------------------
// Start-up, menu loop and shut-down

namespace {

enum MenuChoice {
  MenuInstall = 1,
  MenuUpgrade = 2,
  MenuRemove = 3,
  MenuExit = 4,
  MenuSpecial = 5,
};

struct Run {
  std::unique_ptr<Log> log;
  std::unique_ptr<Ini> ini;
  char path[PATH_SIZE] = "";
  int default_action = MenuInstall;
};

// The log and the store, the base name, and the log opened beside the other companion files.
void start_up(Run &run, const char *argv0) {
  run.log = log_init(LogDebug);
  run.ini = ini_init();
  char name[PATH_SIZE] = "";
  myname = exename(name, argv0, PATH_SIZE) ? name : "install";
  companion_path(run.path, myname->c_str(), ".log");
  log_set(run.log.get());
  // A log that another user could read or redirect is not written through; the run says so
  // once, since it keeps no log at all.
  if (!log_open(run.log.get(), run.path) && log_refused())
    con_print("Not writing to '%s', it is not the installer's own file: this run keeps no log\n",
              run.path);
  log_doflush(run.log.get(), 1);
  imsg("Log file opened in '%s'", run.path);
}

void companion_ext(Run &run, const char *ext) {
  strip_ext(run.path);
  attach_ext(run.path, ext, PATH_SIZE);
}

bool load_defaults(Run &run) {
  companion_ext(run, ".dat");
  return load_datfile(run.ini.get(), run.path) == 1;
}

bool run_init_file(Run &run) {
  std::unique_ptr<Init> init = init_init();
  companion_ext(run, ".int");
  if (!init_load(init.get(), run.path)) {
    con_print("Error: Failed to load init file '%s', %s\n", run.path, init_error());
    init_free(&init);
    return false;
  }
  run_init_commands(init.get(), run.ini.get());
  init_free(&init);
  return true;
}

void choose_default_action(Run &run) {
  const char *action = ini_value_name(run.ini.get(), "action");
  run.default_action = action && std::strcmp(action, "upgrade") == 0 ? MenuUpgrade : MenuInstall;
}

// The user's choice, or nullopt at end of input.
std::optional<int> read_choice(Run &run) {
  print_menu(run.ini.get());
  if (automate) {
    con_print("\n");
    return run.default_action;
  }
  con_print("\nWhat would you like to do[%d]? ", run.default_action);
  con_flush();
  char answer[LINE_SIZE] = "";
  if (!con_readline(answer, LINE_SIZE)) {
    signals_check();  // a read a signal broke is no end of input
    return std::nullopt;
  }
  const char *text = s_strtrm(answer);
  if (*text == '\0') return run.default_action;
  return s_atoi(text);
}

// Runs one choice; true when the menu is to be shown again.
bool act_on(Run &run, int choice) {
  Ini *ini = run.ini.get();
  int result = FAILED;
  switch (choice) {
    case MenuInstall:
      result = install_product(ini);
      if (result != QUIT) print_blurb(ini);  // after a failed install too
      break;
    case MenuUpgrade:
      result = upgrade_product(ini);
      break;
    case MenuRemove:
      result = remove_product(ini);
      break;
    case MenuExit:
      return false;
    case MenuSpecial:
      if (special_mode) {
        do_special(ini);
        return false;
      }
      // Without a tag there is no section to run, so 5 is as unknown as 6.
      [[fallthrough]];
    default:
      con_print("That is not a recognised option, please try again\n");
      return true;
  }
  // Without a user to choose again, a quit would bring back the same choice for ever.
  return result == QUIT && !automate;
}

void menu_loop(Run &run) {
  for (;;) {
    std::optional<int> choice = special_mode ? std::optional<int>(MenuSpecial) : read_choice(run);
    if (!choice || !act_on(run, *choice)) return;
  }
}

// From the defaults file to the end of the menu loop. Without defaults nothing else runs;
// once they are loaded, their table is released however the run goes on.
void run_installer(Run &run) {
  if (!load_defaults(run)) return;
  if (run_init_file(run)) {
    choose_default_action(run);
    print_header(run.ini.get());
    menu_loop(run);
  }
  clear_datfile();
}

void release(Run &run) {
  ini_free(&run.ini);
  log_free(&run.log);
  myname.reset();
}

void wait_for_enter() {
  if (automate) return;
  con_print("\n<Press enter to exit>");
  con_flush();
  char line[LINE_SIZE] = "";
  con_readline(line, LINE_SIZE);
}

}  // namespace

}  // namespace installer

int main(int argc, char **argv) {
  using namespace installer;
  signals_setup();
  Run run;
  start_up(run, argc > 0 ? argv[0] : nullptr);
  process_args(run.log.get(), argv, argc > 0 ? static_cast<unsigned>(argc) : 0);
  if (!exit_request) run_installer(run);
  // A signal that came while the run waited for input, with nothing logged since, ends it here.
  signals_check();
  release(run);
  if (exit_request) return *exit_request;
  wait_for_enter();
  return 0;
}
