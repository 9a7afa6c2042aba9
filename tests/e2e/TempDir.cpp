#include "tests/e2e/TempDir.h"

#include <stdlib.h>

#include <stdexcept>
#include <system_error>

namespace tolvan::e2e {

TempDir::TempDir() {
    char pattern[] = "/tmp/tolvan-e2e-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace tolvan::e2e
