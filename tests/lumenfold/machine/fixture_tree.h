// A machine's /sys and /proc as files in a temporary directory, for the
// sampler to take as its root.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

class FixtureTree {
public:
    FixtureTree() {
        std::string pattern = (std::filesystem::temp_directory_path() / "machine_XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
    }
    ~FixtureTree() {
        std::error_code error;
        std::filesystem::remove_all(root_, error);
    }
    FixtureTree(const FixtureTree&) = delete;
    FixtureTree& operator=(const FixtureTree&) = delete;

    const std::string& root() const { return root_; }
    std::string path(const std::string& relative) const { return root_ + "/" + relative; }

    // Writes the file whole, making its directories.
    void write(const std::string& relative, const std::string& text) const {
        const std::filesystem::path file = path(relative);
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file) << text;
    }
    // Puts a new file in the old one's place at once, as a sensor's new value
    // appears to a reader: never half-written.
    void replace(const std::string& relative, const std::string& text) const {
        write(relative + ".new", text);
        std::filesystem::rename(path(relative + ".new"), path(relative));
    }
    void remove(const std::string& relative) const { std::filesystem::remove(path(relative)); }

private:
    std::string root_;
};
