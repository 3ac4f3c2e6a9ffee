#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

// A fresh folder of its own for one test, removed with everything in it afterwards.
class TTempFolder {
public:
    TTempFolder() {
        std::random_device random;
        const auto base = std::filesystem::temp_directory_path();
        for (;;) {
            FPath = base / ("kestro-settings-" + std::to_string(random()));
            if (std::filesystem::create_directory(FPath))
                break;
        }
    }
    ~TTempFolder() {
        std::error_code ignored; // nothing a test can do about a leftover temporary folder
        std::filesystem::remove_all(FPath, ignored);
    }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    std::string File(const std::string& name) const { return (FPath / name).string(); }

    static void Write(const std::string& path, const std::string& content) {
        std::ofstream(path, std::ios::binary) << content;
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        return content.str();
    }

private:
    std::filesystem::path FPath;
};
