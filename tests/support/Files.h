// Whole files as bytes, for what the tests write and read back.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdlib.h>
#include <string>
#include <string_view>

namespace testsupport {

// The file's bytes; empty when it cannot be read.
inline std::string fileBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void writeBytes(const std::filesystem::path& file, std::string_view bytes) {
    std::ofstream(file, std::ios::binary).write(bytes.data(), std::ssize(bytes));
}

// A fresh folder of its own under the temporary folder, removed with what it holds.
struct TemporaryFolder {
    std::string pattern = (std::filesystem::temp_directory_path() / "dawnbell-XXXXXX").string();
    std::filesystem::path path = ::mkdtemp(pattern.data());
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

} // namespace testsupport
