#include "engine/fastscan.h"

#include "engine/likepattern.h"

#include <algorithm>
#include <string>
#include <unordered_set>

namespace morvessa {

namespace {

std::vector<std::uint32_t> intersect(const std::vector<std::uint32_t> &a, const std::vector<std::uint32_t> &b)
{
    std::vector<std::uint32_t> out;
    std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

struct Term {
    std::string pattern; // UTF-8
    LikeShape shape;
};

// The statement's patterns once each (a repeated term asks nothing new of AND or OR),
// in their first order; nullopt when one is invalid.
std::optional<std::vector<Term>> distinctTerms(const SearchStatement &statement)
{
    std::vector<Term> terms;
    std::unordered_set<std::string> seen;
    for (const QString &p : statement.patterns) {
        std::string utf8 = p.toStdString();
        if (!seen.insert(utf8).second)
            continue;
        JetLikePattern like;
        if (!like.compile(utf8, 0))
            return std::nullopt;
        terms.push_back({std::move(utf8), like.shape()});
    }
    return terms;
}

} // namespace

bool patternsValid(const SearchStatement &statement)
{
    return distinctTerms(statement).has_value();
}

std::optional<std::vector<std::uint32_t>> runFast(const SearchStatement &statement, const ContentScanner &scanner,
                                                  std::span<const std::uint32_t> newestFirst,
                                                  const VariantTable *variants, const RowWatcher *watcher)
{
    const std::size_t rowCount = scanner.rowCount();
    if (newestFirst.size() != rowCount)
        return std::nullopt;
    auto allRows = [&] { return std::vector<std::uint32_t>(newestFirst.begin(), newestFirst.end()); };
    if (statement.kind == SearchStatement::AllRows)
        return allRows();
    // Every pattern must be valid before anything runs: the plain path reports an
    // invalid one exactly as the engine does.
    std::optional<std::vector<Term>> terms = distinctTerms(statement);
    if (!terms)
        return std::nullopt;

    if (statement.kind == SearchStatement::AnyTerm) {
        std::vector<bool> member(rowCount, false); // a bit a row: little memory at millions of rows
        for (const Term &t : *terms) {
            const std::vector<std::uint32_t> rows = *scanner.rowsLike(t.pattern, variants, watcher);
            for (std::uint32_t r : rows)
                member[r] = true;
        }
        std::vector<std::uint32_t> out;
        for (std::size_t r = 0; r < rowCount; ++r)
            if (member[r])
                out.push_back(std::uint32_t(r));
        return out; // file order
    }
    if (terms->empty())
        return allRows();
    // One scan for the term with the longest plain run; every other term is checked on
    // the rows still in, or, when it is a plain run and many rows are still in, scanned
    // for too (one pass over the buffer beats a search row by row there).
    std::stable_sort(terms->begin(), terms->end(), [](const Term &a, const Term &b) {
        return a.shape.longestRun.size() > b.shape.longestRun.size();
    });
    // The first scan finds every row of the result: the watcher sees that one.
    std::vector<std::uint32_t> hits = *scanner.rowsLike(terms->front().pattern, variants, watcher);
    for (std::size_t k = 1; k < terms->size() && !hits.empty(); ++k) {
        const Term &t = (*terms)[k];
        if (t.shape.plainContains && hits.size() >= rowCount / 16)
            hits = intersect(hits, *scanner.rowsLike(t.pattern, variants));
        else
            hits = *scanner.rowsLikeAmong(t.pattern, hits, variants);
    }
    std::vector<bool> member(rowCount, false); // a bit a row: little memory at millions of rows
    for (std::uint32_t r : hits)
        member[r] = true;
    std::vector<std::uint32_t> out;
    out.reserve(hits.size());
    for (std::uint32_t r : newestFirst)
        if (member[r])
            out.push_back(r);
    return out;
}

} // namespace morvessa
