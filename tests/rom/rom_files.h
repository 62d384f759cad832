#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "gbheader/header_logo.h"

namespace velwin::rom::testing {

// A ROM image built in memory: zero bytes with the fields the tests set.
class RomImage {
 public:
  explicit RomImage(std::size_t size) : bytes_(size, 0) {}

  RomImage& WithLogo() {
    for (std::size_t i = 0; i < gbheader::HeaderLogo.size(); ++i) {
      Set(gbheader::kLogoOffset + i, gbheader::HeaderLogo[i]);
    }
    return *this;
  }
  RomImage& Title(const std::string& title) {
    for (std::size_t i = 0; i < title.size(); ++i)
      Set(0x134 + i, static_cast<std::uint8_t>(title[i]));
    return *this;
  }
  RomImage& Set(std::size_t offset, std::uint8_t value) { return Fill(offset, offset + 1, value); }
  RomImage& Fill(std::size_t from, std::size_t to, std::uint8_t value) {
    for (std::size_t i = from; i < to; ++i)
      bytes_.at(i) = value;
    return *this;
  }
  RomImage& Resize(std::size_t size) {
    bytes_.resize(size, 0);
    return *this;
  }
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

// A fresh directory per test, removed afterwards.
class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("velwin-rom-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }
  std::string Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(PathOf(name), std::ios::binary).write(bytes.data(), std::ssize(bytes));
    return PathOf(name);
  }
  std::string Write(const std::string& name, const RomImage& rom) const {
    return Write(name, std::string(rom.Bytes().begin(), rom.Bytes().end()));
  }

  std::filesystem::path dir_;
};

}  // namespace velwin::rom::testing
