// install-check: the kinds of finding, each with a code that stays the same from release to
// release, so that a suppression or a script written against one keeps working.
#include <cstdio>

#include "tool.h"

namespace installer::tool {

namespace {

const Code Codes[] = {
    {"IC101", Code::Error, "line longer than the installer reads",
     "The companion files are read 999 characters at a time and templates 2,999 at a time; "
     "the rest of a longer line is read as a line of its own, so a value is cut and its tail "
     "becomes a declaration, a command or a template line of its own.\n"
     "Example: a 1,200-character welcome text as one value in install.dat.\n"
     "Fix: shorten the line; keep long texts in a file that Ini or RFile reads."},
    {"IC102", Code::Error, "companion file cannot be read",
     "Without its defaults file or its init file the installer stops at start-up, before "
     "the menu.\n"
     "Example: install.dat missing from the product folder, or readable by nobody.\n"
     "Fix: ship the file, readable, beside the installer."},
    {"IC103", Code::Warning, "built-in setting declared in the defaults file",
     "host, system_dir, current_dir and action come before every declaration, and a look-up "
     "finds the first setting of a name, so the value given here is never seen.\n"
     "Example: 'host  example.org' in install.dat.\n"
     "Fix: use a name of your own, or leave the built-in setting alone."},
    {"IC104", Code::Warning, "setting declared twice",
     "Every line of install.dat adds a setting; a look-up finds the first one, so the "
     "later value is never seen.\n"
     "Example: 'product  Demo' on line 2 and 'product  Other' on line 14.\n"
     "Fix: keep one declaration."},
    {"IC105", Code::Warning, "'#' after a value in the defaults file",
     "Only a line that begins with '#' is a comment; a '#' after a value is part of the "
     "value, and the installer writes it wherever the setting goes.\n"
     "Example: 'version  0.1  # note' gives version the value '0.1  # note'.\n"
     "Fix: put the comment on a line of its own above the declaration."},
    {"IC106", Code::Warning, "'=' in a declaration",
     "A declaration is the name, blanks, then the value; there is no '=' sign, so "
     "'name = value' gives name the value '= value', and 'name=value' declares a setting "
     "of that whole name with no value.\n"
     "Example: 'title = Team notes' gives title the value '= Team notes'.\n"
     "Fix: write 'title  Team notes'."},
    {"IC110", Code::Error, "unknown word",
     "A command, question type or init command the installer does not know: an init line "
     "does nothing, a question is asked as text, a copy command fails when it runs (\"How "
     "did we get here!\").\n"
     "Example: 'MakeDir  $(cgi_dir)/x' in install.cpy.\n"
     "Fix: use the word the manual page of the file gives (MkDir)."},
    {"IC111", Code::Error, "line dropped for a missing field",
     "A line without one of the fields its word requires is logged and dropped when the "
     "file is loaded; the fields are positional, so a left-out '-' shifts every later one.\n"
     "Example: 'CopyFile  $(current_dir)/cgi/*.cgi  $(cgi_dir)' has no exclusion list: the "
     "destination is taken as one and the destination is missing.\n"
     "Fix: write every field, '-' for an empty exclusion list."},
    {"IC112", Code::Error, "init line with fewer than five fields",
     "An init line is read field by field across lines until it has five, so a short line "
     "takes its missing fields from the next one and both become one command.\n"
     "Example: 'Exist  $(cgi_dir)  have_cgi' (three fields).\n"
     "Fix: write all five fields, '-' for no control and no comparison."},
    {"IC120", Code::Error, "flow section missing",
     "The menu offers install, upgrade and remove whatever the files hold; a flow whose "
     "question section is missing fails, one whose copy section is missing changes "
     "nothing.\n"
     "Example: install.cpy without an [upgrade] section.\n"
     "Fix: add the section; an empty one is allowed."},
    {"IC121", Code::Error, "second section of one name",
     "Only the first section of a name is read; a later one of the same name, in any "
     "letter case, is never used.\n"
     "Example: two [install] sections in install.cpy.\n"
     "Fix: merge them."},
    {"IC122", Code::Warning, "section no flow runs that looks like a flow's",
     "A section whose name is close to install, upgrade or remove but not equal runs only "
     "as a -special section, so the flow it was meant for does not see it.\n"
     "Example: [instal] in install.cpy.\n"
     "Fix: correct the name."},
    {"IC123", Code::Note, "special section with no counterpart",
     "A -special run loads the tag's section from both install.q and install.cpy; with one "
     "of them missing it asks nothing or changes nothing.\n"
     "Example: [notes] in install.q only.\n"
     "Fix: add the other section, or leave it out on purpose."},
    {"IC130", Code::Warning, "question without a default",
     "Under -automate every question takes its setting's value; one without a value ends "
     "the run with \"You must enter an answer\".\n"
     "Example: 'Text  answer  -  -  h2  Answer?' with 'answer' declared without a value.\n"
     "Fix: give the setting a value in install.dat or from an init command."},
    {"IC131", Code::Error, "Loop target out of range",
     "Loop goes on at the entry whose number it holds, counted from 0 over every entry of "
     "the section, computed ones included; a number past the end ends the questions.\n"
     "Example: 'Loop  answer  7' in a section of four entries.\n"
     "Fix: count the entries again, from 0."},
    {"IC201", Code::Error, "reference to no setting",
     "A $(name) that nothing defines: it vanishes from a question's text, stays as written "
     "in a path (so the command works on a folder named '$(name)'), and stays in a "
     "template's output. A name close to a setting's is shown as \"did you mean\".\n"
     "Example: '$(titel)' where the setting is 'title'.\n"
     "Fix: correct the name, or declare the setting in install.dat."},
    {"IC202", Code::Error, "controlling setting never defined",
     "A control names a setting that nothing defines: a copy command then always runs, a "
     "question is always asked, and an init command compares the control's own text.\n"
     "Example: 'MkDir  $(cgi_dir)/y  make_y' with no setting 'make_y'.\n"
     "Fix: correct the name, or declare the setting."},
    {"IC203", Code::Error, "tested setting never defined",
     "Error and Loop test a setting's value, TimeDate takes its format from one; when "
     "nothing defines it the test always passes and the format is empty.\n"
     "Example: 'Error  upgradble  ...' where the setting is 'upgradable'.\n"
     "Fix: correct the name, or declare the setting."},
    {"IC204", Code::Warning, "answer or setting nothing uses",
     "A question whose answer nothing reads, or a declared setting that no reference, "
     "control, test or command uses: usually a misspelt reference elsewhere.\n"
     "Example: 'title' asked, and the template writing '$(titel)'.\n"
     "Fix: use it, correct the reference, or drop the question or the declaration."},
    {"IC210", Code::Note, "template reference written as it stands",
     "A $(name) in a template that names no setting is written to the file as it stands, "
     "which is what a shell script's $(pwd) or $(date) needs.\n"
     "Example: 'here=$(pwd)' in a shell template.\n"
     "Fix: nothing, when that is what you mean; say so in .install-check "
     "('IC210 templates/run.sh.in')."},
    {"IC211", Code::Warning, "indentation dropped from a template line",
     "A template line that holds a reference is written without its leading blanks and "
     "tabs (one without a reference keeps them), which breaks a Makefile's recipe, YAML "
     "and Python.\n"
     "Example: '    root: $(doc_root)' in a YAML template is written 'root: ...'.\n"
     "Fix: write the value on a line of its own without indentation, or keep the "
     "reference out of indented lines."},
    {"IC212", Code::Warning, "install's answer unknown to a later flow",
     "Answers are not remembered between runs: a template written by upgrade, remove or a "
     "-special section gets the default of a setting that only the install asked, unless "
     "that flow asks it again or install.int reads it back at start-up.\n"
     "Example: [backup] writing a template with $(answer), asked only in [install].\n"
     "Fix: save the answer with WFile at install and read it back with RFile in "
     "install.int."},
    {"IC301", Code::Error, "copy destination without a folder",
     "A copy's destination names folders, matched by its last part; a destination ending "
     "in '/' has no last part and the copy fails with \"No destination directories "
     "found\".\n"
     "Example: 'CopyFile  $(current_dir)/cgi/*.cgi  -  $(cgi_dir)/'.\n"
     "Fix: drop the trailing '/'."},
    {"IC302", Code::Error, "mode not octal digits",
     "Chmod takes octal digits only; anything else fails the command (\"Bad mode\").\n"
     "Example: 'Chmod  $(cgi_dir)/demo/*  -  7x5'.\n"
     "Fix: write the mode in octal, such as 755."},
    {"IC303", Code::Warning, "removal of a whole web-server folder",
     "RmDir or RmFile of the document root or the CGI folder that httpd.conf names removes "
     "what every other site and application keeps there.\n"
     "Example: 'RmDir  $(cgi_dir)  -'.\n"
     "Fix: remove only the product's own folder, such as $(cgi_dir)/webnotes."},
    {"IC304", Code::Error, "template missing",
     "Ini reads its template when it runs; a missing one fails the command (\"Error reading "
     "ini file\") and stops an install or an upgrade.\n"
     "Example: 'Ini  $(current_dir)/app.conf.in  ...' with no app.conf.in in the product.\n"
     "Fix: ship the template, or correct its path."},
    {"IC305", Code::Warning, "installed file without a run bit",
     "A copy never carries the source's mode: a new file gets the installer's default mode, "
     "an existing one keeps its own. A script a URL will run (a .cgi, anything in the CGI "
     "folder) or a file shipped with a run bit needs a later Chmod, or the web server "
     "answers 500. For a file the previous release already installed the upgrade keeps "
     "its mode: with --from OLD-PRODUCT the checker knows which files are new, without it "
     "the finding outside the install is a note.\n"
     "Example: 'CopyFile  $(current_dir)/cgi/*.cgi  -  $(cgi_dir)' and no Chmod after it.\n"
     "Fix: add 'Chmod  $(cgi_dir)/*.cgi  -  755' after the copy."},
    {"IC306", Code::Error, "owner's user unknown on this host",
     "Chown looks its user up by name when it runs; an unknown user fails the command (the "
     "plan says \"fails: no such user\") and stops an install. The finding names the host "
     "the check ran on, which may not be the host the product is installed on.\n"
     "Example: 'Chown  $(cgi_dir)/demo  -  apache' on a host whose web server runs as "
     "www-data.\n"
     "Fix: take the user from httpd.conf: 'HTTP_User  web_user  no_user  -  -' in "
     "install.int fills $(web_user); write '$(web_user):$(web_group)'."},
    {"IC307", Code::Warning, "owner's group unknown on this host",
     "A group the host does not know is replaced by the number of the user's id, which is "
     "rarely a group that is meant.\n"
     "Example: 'Chown  ...  www-data:apache' on a host without a group 'apache'.\n"
     "Fix: take the group from httpd.conf: 'HTTP_Group  web_group  no_group  -  -' in "
     "install.int fills $(web_group)."},
    {"IC308", Code::Error, "numeric owner",
     "Chown looks up names only: a number is taken as a user name, which no host has, so "
     "the command always fails.\n"
     "Example: 'Chown  $(cgi_dir)/demo  -  33:33'.\n"
     "Fix: write names, best $(web_user):$(web_group) as HTTP_User and HTTP_Group fill "
     "them."},
    {"IC310", Code::Error, "copy source matches nothing in the product",
     "A copy whose source pattern matches nothing copies nothing, which fails the command; "
     "an install or an upgrade stops there.\n"
     "Example: 'CopyFile  $(current_dir)/cgi/*.pl  -  $(cgi_dir)' in a product whose "
     "scripts end in .cgi.\n"
     "Fix: correct the pattern, or ship the files."},
    {"IC311", Code::Warning, "copy source outside the product folder",
     "A source reached through '..' from $(current_dir) lies outside the product: an "
     "administrator who unpacks the product by itself lacks it, and the copy fails.\n"
     "Example: 'CopyFile  $(current_dir)/../common/lib.sh  -  $(cgi_dir)'.\n"
     "Fix: ship the file inside the product folder."},
    {"IC312", Code::Error, "Rename of something nothing creates",
     "Rename needs its source; when no earlier command of the install creates it and it is "
     "not there now, the command fails (\"Error renaming\") and the install stops.\n"
     "Example: 'Rename  $(cgi_dir)/app/app.conf.new  $(cgi_dir)/app/app.conf' with no Ini "
     "writing app.conf.new before it.\n"
     "Fix: create the source first, or correct its name."},
    {"IC313", Code::Warning, "Chmod or Chown before what it changes exists",
     "Owners and modes are set when the command runs, on what is there then; a Chmod or a "
     "Chown placed before the command that makes its files changes nothing of them, and "
     "the files keep the copy's owner and mode.\n"
     "Example: 'Chmod  $(cgi_dir)/app/*.cgi  -  755' before the CopyFile of the scripts.\n"
     "Fix: move the Chmod or Chown after the command that makes its files."},
    {"IC314", Code::Error, "copy into a folder nothing makes",
     "A copy needs its destination folder to exist; when no earlier command makes it and it "
     "is not a folder httpd.conf names, the copy fails with \"No destination directories "
     "found\" and an install stops.\n"
     "Example: 'CopyFile  $(current_dir)/cgi/*.cgi  -  $(cgi_dir)/app' with no 'MkDir  "
     "$(cgi_dir)/app' before it.\n"
     "Fix: add the MkDir before the copy."},
    {"IC315", Code::Warning, "removal wildcard beyond what the install made",
     "A wildcard in a folder the install did not make matches whatever is there, other "
     "applications' files and folders included: 'RmDir $(cgi_dir)/sh*' also deletes "
     "shop/ and shared/.\n"
     "Example: 'RmDir  $(cgi_dir)/sh*  -'.\n"
     "Fix: name exactly what the install made, or keep the product in a folder of its "
     "own and remove that."},
    {"IC401", Code::Warning, "value read back from the web user's tree",
     "The installer runs as root; a setting that RFile reads from a tree a Chown gave to "
     "another user can be changed by that user, and when a path or a template uses it, "
     "that user decides what root writes.\n"
     "Example: 'Chown  $(data_dir)  -  $(web_user)', then 'RFile  $(data_dir)/v  old' and "
     "'MkDir  $(current_dir)/saved/$(old)'.\n"
     "Fix: keep saved answers in a folder only root can write, such as "
     "/var/lib/PRODUCT."},
};

}  // namespace

const Code *find_code(const std::string &id) {
  for (const Code &c : Codes)
    if (id == c.id) return &c;
  return nullptr;
}

std::vector<const Code *> all_codes() {
  std::vector<const Code *> list;
  for (const Code &c : Codes) list.push_back(&c);
  return list;
}

const char *severity_name(Code::Severity s) {
  return s == Code::Error ? "error" : s == Code::Warning ? "warning" : "note";
}

int explain(const std::string &id) {
  const Code *c = find_code(id);
  if (!c) {
    std::fprintf(stderr, "install-check: no finding has the code '%s'; the codes are:\n",
                 id.c_str());
    for (const Code &k : Codes) std::fprintf(stderr, "  %s  %s\n", k.id, k.title);
    return 2;
  }
  // The texts run past what the console's bounded formatter takes in one piece.
  std::string text = std::string(c->id) + " (" + severity_name(c->severity) + "): " + c->title +
                     "\n\n" + c->text + "\n";
  std::fputs(text.c_str(), stdout);
  return 0;
}

}  // namespace installer::tool
