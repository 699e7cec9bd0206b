// What the fuzz targets share: a property that does not hold aborts with its text (libFuzzer
// keeps the input), the input cut into words, and a scratch folder removed at the end.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#define PROPERTY(holds)                                                                            \
    ((holds) ? void() : (std::fprintf(stderr, "property failed: %s\n", #holds), std::abort()))

template <class Text> std::vector<Text> split(const Text &text, typename Text::value_type at)
{
    std::vector<Text> parts(1);
    for (const auto c : text)
        c == at ? parts.emplace_back() : parts.back() += c;
    return parts;
}

inline const std::string &scratchFolder()
{
    static const std::string path = ::mkdtemp(std::string("/tmp/comutel-fuzz.XXXXXX").data());
    static const int removal = std::atexit([] { std::filesystem::remove_all(path); });
    return (void)removal, path;
}
