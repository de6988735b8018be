#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "capture_rig.h"

TempDir::TempDir() {
  const char* base = getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/blipcount-capture-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;  // a temporary directory left behind is not worth failing for
  std::filesystem::remove_all(path_, ignored);
}
