#include "link/visa/SearchPattern.h"

#include <cstring>

namespace visa {

namespace {

// Appends c so that it stands for itself: ECMAScript's syntax characters are escaped; a
// letter or digit never is, since there an escape would make a class such as \d.
void AppendLiteral(std::string& out, char c) {
    if (c != '\0' && std::strchr("^$\\.*+?()[]{}|/", c) != nullptr)
        out.push_back('\\');
    out.push_back(c);
}

// Copies a list from just after its '[' up to and including its ']'; false when it is not
// closed or empty.
bool TranslateList(std::string_view pattern, std::size_t& i, std::string& out) {
    out.push_back('[');
    ++i;
    if (i < pattern.size() && pattern[i] == '^') {
        out.push_back('^');
        ++i;
    }
    std::size_t first = i;
    for (; i < pattern.size(); ++i) {
        char c = pattern[i];
        if (c == ']' && i > first) {
            out.push_back(']');
            return true;
        }
        if (c == '\\') {
            if (++i == pattern.size())
                return false;
            AppendLiteral(out, pattern[i]);
            continue;
        }
        if (c == '-' && i > first && i + 1 < pattern.size() && pattern[i + 1] != ']') {
            out.push_back('-');
            continue;
        }
        if (c == '[' || c == ']' || c == '-' || c == '^')
            out.push_back('\\');
        out.push_back(c);
    }
    return false;
}

// The pattern as wildcards, when it has no list, group, alternative or other repeat.
std::optional<std::vector<Wildcard>> AsWildcards(std::string_view pattern) {
    std::vector<Wildcard> wildcards;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '?' && i + 1 < pattern.size() && pattern[i + 1] == '*') {
            wildcards.push_back({Wildcard::Kind::AnyRun});
            ++i;
        } else if (c == '?') {
            wildcards.push_back({Wildcard::Kind::AnyOne});
        } else if (c == '\\' && i + 1 < pattern.size()) {
            wildcards.push_back({Wildcard::Kind::Char, pattern[++i]});
        } else if (std::strchr("\\*+[]()|{}", c) != nullptr) {
            return std::nullopt;
        } else {
            wildcards.push_back({Wildcard::Kind::Char, c});
        }
    }
    return wildcards;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Matching with a return to the last "any run" on a mismatch, which is exact for wildcards
// of these three kinds.
bool MatchesWildcards(const std::vector<Wildcard>& wildcards, std::string_view name) {
    std::size_t w = 0;
    std::size_t n = 0;
    std::size_t lastRun = std::string_view::npos;
    std::size_t runEnd = 0;
    while (n < name.size()) {
        if (w < wildcards.size() && wildcards[w].kind == Wildcard::Kind::AnyRun) {
            lastRun = w++;
            runEnd = n;
        } else if (w < wildcards.size() && (wildcards[w].kind == Wildcard::Kind::AnyOne ||
                                            Lower(wildcards[w].c) == Lower(name[n]))) {
            ++w;
            ++n;
        } else if (lastRun != std::string_view::npos) {
            w = lastRun + 1;
            n = ++runEnd;
        } else {
            return false;
        }
    }
    while (w < wildcards.size() && wildcards[w].kind == Wildcard::Kind::AnyRun)
        ++w;
    return w == wildcards.size();
}

} // namespace

ViStatus TranslatePattern(std::string_view pattern, std::string& expression) {
    std::string out;
    bool hasElement = false; // whether a repeat may follow here
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        switch (c) {
        case '?':
            out.push_back('.');
            hasElement = true;
            break;
        case '*':
        case '+':
            if (!hasElement)
                return VI_ERROR_INV_EXPR;
            out.push_back(c);
            hasElement = false;
            break;
        case '[':
            if (!TranslateList(pattern, i, out))
                return VI_ERROR_INV_EXPR;
            hasElement = true;
            break;
        case '\\':
            if (++i == pattern.size())
                return VI_ERROR_INV_EXPR;
            AppendLiteral(out, pattern[i]);
            hasElement = true;
            break;
        case '(':
            out += "(?:";
            hasElement = false;
            break;
        case ')':
            out.push_back(')');
            hasElement = true;
            break;
        case '|':
            out.push_back('|');
            hasElement = false;
            break;
        case '{':
        case '}':
            return VI_ERROR_INV_EXPR; // attribute expressions are not supported
        default:
            AppendLiteral(out, c);
            hasElement = true;
            break;
        }
    }
    expression = std::move(out);
    return VI_SUCCESS;
}

ViStatus CompilePattern(std::string_view pattern, CompiledPattern& compiled) {
    std::string expression;
    ViStatus status = TranslatePattern(pattern, expression);
    if (status != VI_SUCCESS)
        return status;
    try {
        compiled.regex = std::regex(expression, std::regex::ECMAScript | std::regex::icase);
    } catch (const std::regex_error&) {
        return VI_ERROR_INV_EXPR;
    }
    compiled.wildcards = AsWildcards(pattern);
    return VI_SUCCESS;
}

bool MatchesWhole(const CompiledPattern& compiled, const std::string& name) {
    // No instrument has a longer name, and the match recurses once per character.
    if (name.size() >= VI_FIND_BUFLEN)
        return false;
    // The expression's '?' stands for any character but a line's end.
    if (compiled.wildcards && name.find_first_of("\r\n") == std::string::npos)
        return MatchesWildcards(*compiled.wildcards, name);
    return std::regex_match(name, compiled.regex);
}

} // namespace visa
