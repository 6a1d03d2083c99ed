#pragma once
#include <cstddef>

// The rest of a raw command line after its first `count` arguments, quoting
// untouched, split by the same rules CommandLineToArgvW uses for argument ends.
const wchar_t* SkipArguments(const wchar_t* commandLine, size_t count);
