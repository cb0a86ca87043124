// The terminal as sfxtool uses it: UTF-16 text out (UTF-8 on pipes and files, the console's own
// wide calls on a Windows console), a line in, and a password typed without echo.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum class Stream { kOut, kErr };

void print(Stream s, const std::u16string& text);
bool isTerminal(Stream s);
bool stdinIsTerminal();
// How many columns the terminal on standard error shows: the terminal's own width, or COLUMNS,
// or 80 when neither says.
std::size_t terminalColumns();

// The system's own words for an error code (errno, or GetLastError on Windows), such as
// "No such file or directory".
std::u16string systemReason(uint32_t error);

// One line from standard input without its line end; false at the end of input.
bool readLine(std::u16string& line);

// Asks on the terminal with echo off; false when there is no terminal to ask on.
bool readSecret(const std::u16string& prompt, std::u16string& secret);

// Asks on the terminal, the answer echoed as it is typed; false when there is no terminal to ask
// on or nothing was answered.
bool readAnswer(const std::u16string& prompt, std::u16string& answer);
