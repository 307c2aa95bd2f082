// UTF-8 output for the tool, whatever the console's code page.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace vtls::tool {

[[nodiscard]] std::string ToUtf8(std::wstring_view text);

// printf-style formatting into a narrow string; the arguments are narrow.
[[nodiscard]] std::string Format(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));

void Print(std::FILE* stream, std::string_view text);
inline void Out(std::string_view text) { Print(stdout, text); }
inline void Err(std::string_view text) { Print(stderr, text); }
// A line for a script that waits on the output: written through at once.
inline void OutLine(std::string_view text) {
    Print(stdout, text);
    std::fflush(stdout);
}

}  // namespace vtls::tool
