// Whole files as byte strings, for tests that compare what a write left behind.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

// The file's bytes; empty when there is no file to read.
inline std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

inline void writeFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}
