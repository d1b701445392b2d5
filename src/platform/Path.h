#pragma once
// Path texts as the engine handles them: byte strings in the system's narrow code page,
// parts joined by one delimiter. Every helper is double-byte aware: in CP932 a trail byte
// 0x5C is part of its character, never a delimiter.

#include <string>
#include <string_view>

namespace renvo {

enum class CodePage { Utf8, Cp932 };

struct PathRules {
    char delim;            // '/' here, '\\' on Windows
    CodePage codePage;
    bool driveLetters;     // "X:" and "\\server\share" prefixes exist
    bool ignoreCase;       // file names compare without regard to letter case
};

// The rules of the platform the program runs on.
const PathRules& nativePathRules();
// Windows rules with CP932, for tests and for reading texts made there.
const PathRules& windowsCp932Rules();

inline char pathDelim() { return nativePathRules().delim; }

bool isLeadByte(unsigned char c, CodePage cp);
// Length in bytes of the character that starts at s[i] (1 or more; never past the end).
size_t charLength(std::string_view s, size_t i, CodePage cp);

// a + delimiter + b; no part is normalised.
std::string joinPath(std::string_view a, std::string_view b, const PathRules& r = nativePathRules());
// The text after the last delimiter (or drive colon).
std::string extractFileName(std::string_view path, const PathRules& r = nativePathRules());
// Directory part: up to and including the last delimiter (or drive colon).
std::string extractFilePath(std::string_view path, const PathRules& r = nativePathRules());
// Folder of a path: before the last delimiter; a delimiter that follows a colon, another
// delimiter or starts the path stays ("C:\Data" gives "C:\", "/a" gives "/").
std::string extractFileDir(std::string_view path, const PathRules& r = nativePathRules());
// "X:", "\\server\share" or empty (always empty without drive letters).
std::string extractFileDrive(std::string_view path, const PathRules& r = nativePathRules());
std::string excludeTrailingDelimiter(std::string_view path, const PathRules& r = nativePathRules());
// The path without any of its trailing delimiters; a lone delimiter (the root) stays.
// Double-byte aware as excludeTrailingDelimiter is.
std::string trimTrailingDelimiters(std::string_view path, const PathRules& rules = nativePathRules());std::string includeTrailingDelimiter(std::string_view path, const PathRules& r = nativePathRules());
// True when some path part begins with a full stop: the delimiter followed by ".".
bool containsDotPart(std::string_view path, const PathRules& r = nativePathRules());
// Replaces the extension of the name part (".ctf"); adds it when there is none.
std::string changeFileExt(std::string_view path, std::string_view ext, const PathRules& r = nativePathRules());

// Relative path of target seen from base ("..\" per remaining base component, then the
// remaining target components and the target's name part). Different drives give target.
std::string relativePath(std::string_view base, std::string_view target, const PathRules& r = nativePathRules());

// The platform's file-name comparison: exact on Linux, letter case ignored on Windows.
bool samePath(std::string_view a, std::string_view b, const PathRules& r = nativePathRules());
bool pathLess(std::string_view a, std::string_view b, const PathRules& r = nativePathRules());
// The form under which paths equal by samePath are equal bytes, for hashing: the path itself
// where names are exact, else with single-byte letters folded to lower case.
std::string pathKey(std::string_view path, const PathRules& r = nativePathRules());

}  // namespace renvo
