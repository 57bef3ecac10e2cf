#pragma once
// A fresh folder for one test, removed with everything in it.
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>

namespace sonavir::testsupport {

struct TempDir {
    std::filesystem::path path;
    TempDir()
    {
        path = std::filesystem::temp_directory_path() /
               ("sonavir-test-" + std::to_string(::getpid()) + "-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(path);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};

}  // namespace sonavir::testsupport
