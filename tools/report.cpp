// install-check: what is left of the findings once the product has said which to leave out,
// printed the way compilers, scripts or code hosts read them.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <sstream>

#include "release.h"
#include "tool.h"

namespace installer::tool {

namespace {

// A file's text as the installer's file layer reads it: a regular file only, without
// blocking, within its cap; nothing when it cannot be read (a pipe, a device, missing).
std::istringstream text_of(const std::string &file) {
  std::string text;
  if (OwnedFile f{file_open_read(file.c_str())}) {
    char piece[4096];
    std::size_t n;
    while ((n = std::fread(piece, 1, sizeof piece, f.get())) > 0) text.append(piece, n);
  }
  return std::istringstream(text);
}

// Codes to leave out at a line (0: in the whole file); no code means every code.
struct Rule {
  std::set<std::string> codes;
  int line;
};
using Rules = std::map<std::string, std::vector<Rule>>;

std::string trim(const std::string &s) {
  std::size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(" \t\r\n") - a + 1);
}

bool is_codes(const std::string &field) {
  if (field.empty()) return false;
  for (std::size_t at = 0; at <= field.size();) {
    std::size_t end = field.find(',', at);
    if (end == std::string::npos) end = field.size();
    std::string code = field.substr(at, end - at);
    if (code.size() < 3 || code.compare(0, 2, "IC") != 0 ||
        code.find_first_not_of("0123456789", 2) != std::string::npos)
      return false;
    at = end + 1;
  }
  return true;
}

std::set<std::string> codes_of(const std::string &field) {
  std::set<std::string> codes;
  for (std::size_t at = 0; at <= field.size();) {
    std::size_t end = field.find(',', at);
    if (end == std::string::npos) end = field.size();
    codes.insert(field.substr(at, end - at));
    at = end + 1;
  }
  return codes;
}

// "# install-check: disable=IC204,IC305" on a file's first line leaves those codes out of
// the whole file; anywhere else, out of the next line that is not a comment.
void read_comments(const std::string &file, Rules &rules) {
  std::istringstream in = text_of(file);
  std::string text;
  std::vector<std::set<std::string>> pending;
  for (int number = 1; std::getline(in, text); number++) {
    text = trim(text);
    if (text.empty()) continue;
    if (text[0] != '#') {
      for (auto &codes : pending) rules[file].push_back({std::move(codes), number});
      pending.clear();
      continue;
    }
    std::size_t at = text.find("install-check:");
    if (at == std::string::npos) continue;
    std::string rest = trim(text.substr(at + 14));
    if (rest.compare(0, 8, "disable=") != 0) continue;
    std::string list = rest.substr(8, rest.find_first_of(" \t", 8) - 8);
    if (!is_codes(list)) continue;
    if (number == 1)
      rules[file].push_back({codes_of(list), 0});
    else
      pending.push_back(codes_of(list));
  }
}

// The product's .install-check, for the files that have no comments of their own
// (templates, blurb.txt): one entry a line, "CODE[,CODE...] FILE", "CODE FILE:LINE" or
// "FILE:LINE" (every code at that line), paths from the product folder.
void read_product_rules(Rules &rules) {
  std::istringstream in = text_of(".install-check");
  std::string text;
  while (std::getline(in, text)) {
    text = trim(text);
    if (text.empty() || text[0] == '#') continue;
    std::set<std::string> codes;
    std::string path;
    std::size_t at = 0;
    while (at < text.size()) {
      std::size_t end = text.find_first_of(" \t", at);
      if (end == std::string::npos) end = text.size();
      std::string field = text.substr(at, end - at);
      if (is_codes(field)) {
        std::set<std::string> more = codes_of(field);
        codes.insert(more.begin(), more.end());
      } else if (!field.empty()) {
        path = field;
      }
      at = text.find_first_not_of(" \t", end);
      if (at == std::string::npos) break;
    }
    if (path.empty()) continue;
    int line = 0;
    std::size_t colon = path.rfind(':');
    if (colon != std::string::npos && colon + 1 < path.size() &&
        path.find_first_not_of("0123456789", colon + 1) == std::string::npos) {
      line = std::stoi(path.substr(colon + 1));
      path.erase(colon);
    }
    while (path.compare(0, 2, "./") == 0) path.erase(0, 2);
    if (line > 0 || !codes.empty()) rules[path].push_back({codes, line});
  }
}

bool suppressed(const Rules &rules, const Finding &f) {
  auto at = rules.find(f.file);
  if (at == rules.end()) return false;
  for (const Rule &r : at->second)
    if ((r.codes.empty() || r.codes.count(f.code->id)) && (r.line == 0 || r.line == f.line))
      return true;
  return false;
}

std::string json(const std::string &text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\u%04x", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// A path as a URI reference: relative ones stay relative (to where the tool ran), absolute
// ones become file URIs.
std::string uri(const std::string &path) {
  std::string out = path[0] == '/' ? "file://" : "";
  for (unsigned char c : path) {
    if (std::isalnum(c) || std::strchr("/-._~", c)) {
      out += static_cast<char>(c);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    }
  }
  return out;
}

void put(const std::string &text) { std::fwrite(text.data(), 1, text.size(), stdout); }

void print_json(const std::vector<Finding> &list, const std::string &dir, const int count[3]) {
  put(std::string("{\n  \"tool\": \"install-check\",\n  \"version\": \"") + RELEASE_VERSION +
      "\",\n");
  put("  \"findings\": [");
  for (std::size_t i = 0; i < list.size(); i++) {
    const Finding &f = list[i];
    std::string file = f.file[0] == '/' ? f.file : dir + f.file;
    put(std::string(i ? ",\n" : "\n") + "    {\"file\": " + json(file) +
        ", \"line\": " + std::to_string(f.line) + ", \"severity\": \"" + severity_name(f.severity) +
        "\", \"code\": \"" + f.code->id + "\", \"message\": " + json(f.message) + "}");
  }
  put(std::string(list.empty() ? "" : "\n  ") + "],\n  \"errors\": " + std::to_string(count[0]) +
      ", \"warnings\": " + std::to_string(count[1]) + ", \"notes\": " + std::to_string(count[2]) +
      "\n}\n");
}

void print_sarif(const std::vector<Finding> &list, const std::string &dir) {
  static const char *const levels[] = {"error", "warning", "note"};
  put("{\n  \"$schema\": \"https://json.schemastore.org/sarif-2.1.0.json\",\n"
      "  \"version\": \"2.1.0\",\n  \"runs\": [{\n    \"tool\": {\"driver\": {\n"
      "      \"name\": \"install-check\",\n      \"version\": \"");
  put(std::string(RELEASE_VERSION) + "\",\n      \"rules\": [");
  std::vector<const Code *> codes = all_codes();
  std::map<std::string, std::size_t> index;
  for (std::size_t i = 0; i < codes.size(); i++) {
    const Code *c = codes[i];
    index[c->id] = i;
    put(std::string(i ? ",\n" : "\n") + "        {\"id\": \"" + c->id +
        "\", \"shortDescription\": {\"text\": " + json(c->title) +
        "}, \"fullDescription\": {\"text\": " + json(c->text) +
        "}, \"defaultConfiguration\": {\"level\": \"" + levels[c->severity] + "\"}}");
  }
  put("\n      ]\n    }},\n    \"results\": [");
  for (std::size_t i = 0; i < list.size(); i++) {
    const Finding &f = list[i];
    std::string file = f.file[0] == '/' ? f.file : dir + f.file;
    put(std::string(i ? ",\n" : "\n") + "      {\"ruleId\": \"" + f.code->id +
        "\", \"ruleIndex\": " + std::to_string(index[f.code->id]) + ", \"level\": \"" +
        levels[f.severity] + "\", \"message\": {\"text\": " + json(f.message) +
        "}, \"locations\": [{\"physicalLocation\": {\"artifactLocation\": {\"uri\": " +
        json(uri(file)) + "}, \"region\": {\"startLine\": " + std::to_string(f.line) + "}}}]}");
  }
  put(std::string(list.empty() ? "" : "\n    ") + "]\n  }]\n}\n");
}

}  // namespace

int report(const Options &o, const std::vector<Finding> &findings,
           const std::vector<std::string> &commented) {
  Rules rules;
  for (const std::string &file : commented) read_comments(file, rules);
  read_product_rules(rules);
  std::vector<Finding> list;
  int count[3] = {0, 0, 0};
  for (const Finding &f : findings)
    if (!suppressed(rules, f)) {
      list.push_back(f);
      count[f.severity]++;
    }
  if (o.format == "json") {
    print_json(list, o.shown_dir, count);
  } else if (o.format == "sarif") {
    print_sarif(list, o.shown_dir);
  } else {
    // Compilers' form, which editors jump from; gcc's names a column too.
    const char *column = o.format == "gcc" ? ":1" : "";
    for (const Finding &f : list) {
      std::string file = f.file[0] == '/' ? f.file : o.shown_dir + f.file;
      put(file + ":" + std::to_string(f.line) + column + ": " + severity_name(f.severity) + ": " +
          f.message + " [" + f.code->id + "]\n");
    }
  }
  std::fflush(stdout);
  auto plural = [](int n) { return n == 1 ? "" : "s"; };
  std::fprintf(stderr, "%d error%s, %d warning%s, %d note%s\n", count[0], plural(count[0]),
               count[1], plural(count[1]), count[2], plural(count[2]));
  int worst = o.fail_on == "note"      ? Code::Note
              : o.fail_on == "warning" ? Code::Warning
                                       : Code::Error;
  for (const Finding &f : list)
    if (f.severity <= worst) return 1;
  return 0;
}

}  // namespace installer::tool
