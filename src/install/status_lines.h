#pragma once
// The status-line format that setup packages and uninstallers write on their
// standard output: "Key=value" lines. A chunk of output is parsed on its own;
// nothing carries over to the next chunk.
#include <cstdint>
#include <string>
#include <vector>

namespace StatusLines {

// Longest value a line may carry; a longer one reads as empty.
constexpr size_t kMaxValueChars = 771;

// The text of one read of a child's output: its bytes up to the first zero
// byte, decoded with `codePage` (empty when they cannot be decoded).
std::wstring DecodeChunk(const std::string& bytes, int codePage);

// "true" or "false", as the switches of a child's command line take them.
inline const wchar_t* SwitchText(bool on) { return on ? L"true" : L"false"; }

// The lines of a chunk, split at line feeds only: a carriage return before
// the line feed stays part of the line.
std::vector<std::wstring> SplitLines(const std::wstring& chunk);

// When `line` begins with `key` (exact, case-sensitive, from its first
// character), sets `rest` to what follows the key and returns true.
bool MatchKey(const std::wstring& line, const wchar_t* key, std::wstring& rest);

// A text value: the rest of the line, or empty when nothing follows the key or
// it is longer than kMaxValueChars.
std::wstring TextValue(const std::wstring& rest);

// A decimal number after the key (blanks before it allowed); 0 when none.
double NumberValue(const std::wstring& rest);

// An integer after the key taken as an unsigned 32-bit quantity, so -1 reads
// as 4294967295; 0 when none.
uint32_t UInt32Value(const std::wstring& rest);

// Up to `count` integers separated by dots ("1.2.3"); returns how many were
// read, stopping at the first that is missing.
int DottedIntegers(const std::wstring& rest, int* values, int count);

} // namespace StatusLines
