#pragma once
// File paths as the system spells them: bytes, whatever the locale. A name
// that is not UTF-8 is kept byte for byte, never decoded into a replacement
// character (which would name another file).

#include <string>

// path made absolute, with every symbolic link followed as far as it goes
// (a dangling link leads to the file it names) and "." and ".." resolved;
// the parts that do not exist are kept as written.
std::string ResolvedPath(const std::string& path);
