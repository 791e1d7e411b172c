// A scratch folder with a debug log in it, shared by the unit tests that touch the disk.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "file.h"
#include "log.h"
#include "sys.h"

class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/installer_test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root = tmpl;
    log = installer::log_init(installer::LogDebug);
    installer::log_set(log.get());
    installer::log_doflush(log.get(), 1);
    ASSERT_EQ(installer::log_open(log.get(), p("test.log").c_str()), 1);
  }
  void TearDown() override {
    installer::file_setup_fn(nullptr, nullptr);
    installer::log_set(nullptr);
    installer::log_free(&log);
    std::filesystem::remove_all(root);
  }

  std::string p(const std::string &rel) const { return root + "/" + rel; }
  void put(const std::string &rel, const std::string &text) const {
    std::filesystem::create_directories(std::filesystem::path(p(rel)).parent_path());
    std::ofstream(p(rel), std::ios::binary) << text;
  }
  std::string get(const std::string &rel) const {
    std::ifstream in(p(rel), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  // A log's lines, each from its level name on ("Error: ...", "Debug: ...").
  std::vector<std::string> log_lines(const std::string &rel = "test.log") const {
    std::vector<std::string> out;
    std::ifstream in(p(rel));
    for (std::string line; std::getline(in, line);) {
      std::size_t at = line.find("] ");
      out.push_back(at == std::string::npos ? line : line.substr(at + 2));
    }
    return out;
  }
  bool logged(const std::string &text) const { return get("test.log").find(text) != text.npos; }

  std::string root;
  std::unique_ptr<installer::Log> log;
  // Whatever a test fakes in the system calls is put back when the test ends.
  installer::SysGuard guard_;
};
