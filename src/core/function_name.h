#pragma once
// Compile-time "Class::Function" names for log lines. GCC offers no qualified
// __FUNCTION__, so the name is cut out of __PRETTY_FUNCTION__: the return type,
// parameter lists, qualifiers and template notes go; a lambda keeps its
// enclosing function's name and becomes "<lambda>::operator ()".
#include <cstddef>

namespace Utils::LogDetail {

template <std::size_t N>
struct FunctionName {
    wchar_t text[N + 16] = {};
};

constexpr bool Matches(const char* s, std::size_t len, std::size_t at, const char* word)
{
    for (std::size_t k = 0; word[k] != '\0'; ++k) {
        if (at + k >= len || s[at + k] != word[k]) {
            return false;
        }
    }
    return true;
}

constexpr bool IsOpen(char c) { return c == '(' || c == '<' || c == '[' || c == '{'; }
constexpr bool IsClose(char c) { return c == ')' || c == '>' || c == ']' || c == '}'; }

// Index just past the bracket group that opens at `at` (operators are not brackets).
constexpr std::size_t SkipGroup(const char* s, std::size_t len, std::size_t at)
{
    int depth = 0;
    for (std::size_t i = at; i < len; ++i) {
        if (IsOpen(s[i])) {
            ++depth;
        } else if (IsClose(s[i]) && --depth == 0) {
            return i + 1;
        }
    }
    return len;
}

template <std::size_t N>
constexpr FunctionName<N> QualifiedName(const char (&pretty)[N])
{
    FunctionName<N> out{};
    std::size_t len = N - 1;
    // "void f() [with T = int]": the template note is not part of the name.
    for (std::size_t i = 0; i + 6 < len; ++i) {
        if (Matches(pretty, len, i, " [with ")) {
            len = i;
            break;
        }
    }

    // The name starts after the last top-level blank before the first top-level '('.
    std::size_t start = 0;
    for (std::size_t i = 0; i < len;) {
        if (Matches(pretty, len, i, "operator")) {
            break;
        }
        const char c = pretty[i];
        if (c == '(') {
            break;
        }
        if (c == ' ') {
            start = i + 1;
        }
        i = IsOpen(c) ? SkipGroup(pretty, len, i) : i + 1;
    }

    std::size_t n = 0;
    bool lastWasLambda = false;
    for (std::size_t i = start; i < len;) {
        if (Matches(pretty, len, i, "operator")) {
            // Copy the operator's own spelling ("operator()", "operator<") verbatim.
            for (const char* w = "operator"; *w != '\0'; ++w) {
                out.text[n++] = static_cast<wchar_t>(*w);
            }
            i += 8;
            if (Matches(pretty, len, i, "()")) {
                out.text[n++] = L'(';
                out.text[n++] = L')';
                i += 2;
            }
            while (i < len && pretty[i] != '(') {
                out.text[n++] = static_cast<wchar_t>(pretty[i++]);
            }
            lastWasLambda = false;
            continue;
        }
        if (Matches(pretty, len, i, "<lambda")) {
            for (const char* w = "<lambda>"; *w != '\0'; ++w) {
                out.text[n++] = static_cast<wchar_t>(*w);
            }
            i = SkipGroup(pretty, len, i);
            lastWasLambda = true;
            continue;
        }
        const char c = pretty[i];
        if (c == '(') {
            // A parameter list: drop it and any qualifiers up to the next "::".
            i = SkipGroup(pretty, len, i);
            while (i < len && !Matches(pretty, len, i, "::")) {
                ++i;
            }
            continue;
        }
        if (IsOpen(c)) {
            const std::size_t end = SkipGroup(pretty, len, i);
            while (i < end) {
                out.text[n++] = static_cast<wchar_t>(pretty[i++]);
            }
            lastWasLambda = false;
            continue;
        }
        if (c != ':') {
            lastWasLambda = false;
        }
        out.text[n++] = static_cast<wchar_t>(c);
        ++i;
    }
    if (lastWasLambda) {
        for (const char* w = "::operator ()"; *w != '\0'; ++w) {
            out.text[n++] = static_cast<wchar_t>(*w);
        }
    }
    out.text[n] = L'\0';
    return out;
}

} // namespace Utils::LogDetail
