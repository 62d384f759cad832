#pragma once

// A GoogleTest fixture over TempDir, for suites whose every test works in a
// directory of its own. Only the suites include this; the library itself
// does not depend on GoogleTest.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "tests/support/rom_image.h"
#include "tests/support/temp_dir.h"

namespace velwin::testing {

class TempDirTest : public ::testing::Test {
 protected:
  std::string PathOf(std::string_view name) const { return temp_.File(name); }
  std::string Write(std::string_view name, std::string_view bytes) const {
    return temp_.Write(name, bytes);
  }
  std::string Write(std::string_view name, const Bytes& bytes) const {
    return temp_.Write(name, bytes);
  }
  std::string Write(std::string_view name, const RomImage& rom) const {
    return temp_.Write(name, rom.Bytes());
  }

  TempDir temp_;
  std::filesystem::path dir_ = temp_.Path();
};

}  // namespace velwin::testing
