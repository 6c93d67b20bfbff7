// The two operating-system operations of the handler.
#pragma once

#ifdef _WIN32
constexpr char folder_separator = '\\';
#else
constexpr char folder_separator = '/';
#endif

// Writes the running executable's full path and a terminator into buffer.
// Returns the path's length, or -1 when it cannot be had or does not fit whole;
// nothing is written beyond size bytes.
int executable_path(char *buffer, int size);

// Asks the system to open address with the user's default handler for it and
// returns without waiting for that handler. The outcome is not reported.
void open_address(const char *address);
