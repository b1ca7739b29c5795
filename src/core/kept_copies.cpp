#include "core/kept_copies.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

namespace fs = std::filesystem;

std::uint64_t creation_number(std::string_view stem) {
    size_t dot = stem.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == stem.size() || stem.size() - dot > 19) return 0;
    std::uint64_t n = 0;
    for (size_t i = dot + 1; i < stem.size(); ++i) {
        if (stem[i] < '0' || stem[i] > '9') return 0;
        n = n * 10 + static_cast<std::uint64_t>(stem[i] - '0');
    }
    return n;
}

bool made_before(const std::string& a, const std::string& b) {
    std::uint64_t na = creation_number(a), nb = creation_number(b);
    if (na != nb) return na < nb;
    return a < b;
}

std::uint64_t next_creation_number(const std::vector<std::string>& stems) {
    std::uint64_t top = 0;
    for (const std::string& s : stems) top = std::max(top, creation_number(s));
    return top + 1;
}

void remove_kept_copy(const fs::path& p) {
    std::error_code ec;
    fs::path away = p.parent_path() / (DELETING_PREFIX + p.filename().string());
    fs::rename(p, away, ec);
    // A copy that cannot be moved out of the list is left whole rather than
    // half deleted.
    if (!ec) fs::remove_all(away, ec);
}

void sweep_hidden(const fs::path& dir, const std::vector<std::string>& prefixes) {
    std::error_code ec;
    std::vector<fs::path> found;
    fs::directory_iterator it(dir, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        for (const std::string& prefix : prefixes)
            if (name.rfind(prefix, 0) == 0) {
                found.push_back(it->path());
                break;
            }
    }
    for (const fs::path& p : found) fs::remove_all(p, ec);
}
