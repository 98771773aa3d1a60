// What the tool needs of the console it runs in: whether a stream is a terminal, a password
// read without echo, standard output for raw bytes, and the process id that keeps temporary
// names apart. One implementation per system (posix/, windows/).
#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace ftptool {

// True when the stream writes to a terminal (the progress bar is drawn only there).
bool IsTerminal(std::FILE* stream);

// Asks "Password: " on the terminal and reads one line without echo; nothing when the program
// has no terminal to ask on.
std::optional<std::string> ReadPasswordFromTerminal();

// Makes standard output carry bytes as they are (no line-end translation), for "get REMOTE -".
void BinaryStandardOutput();

// The id of this process.
long ProcessId();

}  // namespace ftptool
