// "Apply Kill Filter" with 1,000 author and 1,000 subject entries on a
// 100,000-article list, and the test each arriving article of a listing
// passes. The plain rule (every entry lower-cased and searched in turn) is
// measured per article for comparison.
//
//   cmake --preset bench && cmake --build build-bench --target kill_filter_bench
//   build-bench/bin/kill_filter_bench

#include "filters/ArticleSearch.h"
#include "filters/KillMatcher.h"
#include "model/ArticleList.h"

#include <benchmark/benchmark.h>

#include <cctype>
#include <random>
#include <string>
#include <vector>

namespace
{

constexpr int kArticles = 100000;
constexpr int kEntries = 1000;

const char* const kWords[] = {
    "holiday",     "pictures", "video",  "part",     "of",      "file",  "archive", "repost",
    "collection",  "linux",    "iso",    "sample",   "music",   "album", "live",    "concert",
    "documentary", "episode",  "season", "complete", "request", "fill",  "yenc",    "par2",
    "rar",         "zip",      "mp3",    "flac",     "dvd",     "hd",
};

struct CCorpus
{
    std::vector<std::string> authors;
    std::vector<std::string> subjects;
    std::vector<std::string> killAuthors;
    std::vector<std::string> killSubjects;
};

std::string Word(std::mt19937& rng)
{
    std::uniform_int_distribution<size_t> pick(0, std::size(kWords) - 1);
    return kWords[pick(rng)];
}

std::string Name(std::mt19937& rng, int nLength)
{
    std::uniform_int_distribution<int> letter('a', 'z');
    std::string str;
    for (int i = 0; i < nLength; ++i)
        str += static_cast<char>(letter(rng));
    return str;
}

// Subjects like a binary group's listing ("Holiday pictures - [03/17] -
// "file.part03.rar" yEnc (1/42)"), authors like "Name <name123@host.example>".
// The kill entries are mostly posters and words that are rare in the listing,
// so that about one article in twenty is killed.
const CCorpus& Corpus()
{
    static const CCorpus corpus = []
    {
        CCorpus c;
        std::mt19937 rng(12345u);
        std::uniform_int_distribution<int> number(1, 99);
        std::vector<std::string> posters;
        for (int i = 0; i < 20000; ++i)
        {
            std::string strName = Name(rng, 6 + i % 5);
            posters.push_back(strName + " <" + strName + std::to_string(i) + "@host" +
                              std::to_string(i % 97) + ".example>");
        }
        for (int i = 0; i < kArticles; ++i)
        {
            std::string strSubject = Word(rng) + " " + Word(rng) + " " + Name(rng, 5) + " - [" +
                                     std::to_string(number(rng)) + "/99] - \"" + Word(rng) + "." + Word(rng) +
                                     "\" yEnc (" + std::to_string(number(rng)) + "/" +
                                     std::to_string(number(rng)) + ")";
            strSubject[0] = static_cast<char>(strSubject[0] - 'a' + 'A');
            c.subjects.push_back(strSubject);
            c.authors.push_back(posters[static_cast<size_t>(number(rng) * 199 + i) % posters.size()]);
        }
        for (int i = 0; i < kEntries; ++i)
        {
            // Posters named in the list, some of them spelt in capitals.
            // The address part, "name123@", some of them typed in capitals.
            const std::string& strPoster = posters[static_cast<size_t>(i) * 19 % posters.size()];
            const size_t nStart = strPoster.find('<') + 1;
            std::string strAuthor = strPoster.substr(nStart, strPoster.find('@') + 1 - nStart);
            if (i % 3 == 0)
                for (char& c2 : strAuthor)
                    c2 = static_cast<char>(std::toupper(static_cast<unsigned char>(c2)));
            c.killAuthors.push_back(strAuthor);
            c.killSubjects.push_back(Name(rng, 4 + i % 6));
        }
        return c;
    }();
    return corpus;
}

void FillList(CArticleList& list)
{
    const CCorpus& c = Corpus();
    for (int i = 0; i < kArticles; ++i)
    {
        auto pArticle = std::make_shared<CArticle>();
        pArticle->m_nState = StateListed;
        pArticle->m_nLists = ListArticles;
        pArticle->m_strSubject = c.subjects[static_cast<size_t>(i)];
        pArticle->m_strAuthor = c.authors[static_cast<size_t>(i)];
        list.AddArticleRow(std::move(pArticle));
    }
}

// The whole command: compile both lists, walk 100,000 rows, remove the killed.
void BM_ApplyKillFilter(benchmark::State& state)
{
    const CCorpus& c = Corpus();
    int nRemoved = 0;
    for (auto _ : state)
    {
        state.PauseTiming();
        CArticleList list(CArticleList::KindArticles);
        FillList(list);
        state.ResumeTiming();
        nRemoved = CArticleSearch::ApplyKillFilter(list, c.killAuthors, c.killSubjects);
        state.PauseTiming();
        benchmark::DoNotOptimize(list.GetItemCount());
        list.RemoveAll(); // freeing the list is not part of the command
        state.ResumeTiming();
    }
    state.counters["removed"] = nRemoved;
}
BENCHMARK(BM_ApplyKillFilter)->Unit(benchmark::kMillisecond)->Iterations(10);

// For comparison: the same walk removing each killed row at once with
// RemoveRow, which moves every row below it.
void BM_ApplyKillFilterRowByRow(benchmark::State& state)
{
    const CCorpus& c = Corpus();
    const CKillMatcher authors(c.killAuthors);
    const CKillMatcher subjects(c.killSubjects);
    for (auto _ : state)
    {
        state.PauseTiming();
        CArticleList list(CArticleList::KindArticles);
        FillList(list);
        state.ResumeTiming();
        for (int i = list.GetItemCount() - 1; i >= 0; --i)
            if (CArticleSearch::IsKilled(*list.GetArticle(i), authors, subjects))
                list.RemoveRow(i);
        state.PauseTiming();
        list.RemoveAll();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ApplyKillFilterRowByRow)->Unit(benchmark::kMillisecond)->Iterations(3);

// "F&ilter..." on the same list: the default options (remove the matches),
// and remove off (select the matches, deselect the rest).
void BM_ApplyFilter(benchmark::State& state)
{
    const bool bRemove = state.range(0) != 0;
    for (auto _ : state)
    {
        state.PauseTiming();
        CArticleList list(CArticleList::KindArticles);
        FillList(list);
        state.ResumeTiming();
        CArticleSearch::ApplyFilter(list, "concert", false, bRemove, false);
        state.PauseTiming();
        benchmark::DoNotOptimize(list.GetItemCount());
        list.RemoveAll();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ApplyFilter)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(5);

// The walk alone, without any removal: how fast the two lists are tested.
void BM_KillFilterMatchOnly(benchmark::State& state)
{
    const CCorpus& c = Corpus();
    const CKillMatcher authors(c.killAuthors);
    const CKillMatcher subjects(c.killSubjects);
    int nKilled = 0;
    for (auto _ : state)
    {
        nKilled = 0;
        for (int i = 0; i < kArticles; ++i)
            nKilled += subjects.Matches(c.subjects[static_cast<size_t>(i)]) ||
                       authors.Matches(c.authors[static_cast<size_t>(i)]);
        benchmark::DoNotOptimize(nKilled);
    }
    state.counters["killed"] = nKilled;
    state.SetItemsProcessed(state.iterations() * kArticles);
}
BENCHMARK(BM_KillFilterMatchOnly)->Unit(benchmark::kMillisecond);

// Compiling the two lists of 1,000 entries.
void BM_BuildMatchers(benchmark::State& state)
{
    const CCorpus& c = Corpus();
    for (auto _ : state)
    {
        CKillMatcher authors(c.killAuthors);
        CKillMatcher subjects(c.killSubjects);
        benchmark::DoNotOptimize(authors.GetStateCount() + subjects.GetStateCount());
    }
}
BENCHMARK(BM_BuildMatchers)->Unit(benchmark::kMillisecond);

// One arriving article (the listing's per-article test), with the lists
// compiled once beforehand.
void BM_ArrivalTest(benchmark::State& state)
{
    const CCorpus& c = Corpus();
    const CKillMatcher authors(c.killAuthors);
    const CKillMatcher subjects(c.killSubjects);
    CArticle article;
    size_t i = 0;
    for (auto _ : state)
    {
        article.m_strAuthor = c.authors[i];
        article.m_strSubject = c.subjects[i];
        benchmark::DoNotOptimize(CArticleSearch::IsKilled(article, authors, subjects));
        i = (i + 1) % c.subjects.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ArrivalTest)->Unit(benchmark::kNanosecond);

// The same article tested by the plain rule: each entry and the field are
// lower-cased copies, then one substring search per entry.
void BM_ArrivalTestPlainRule(benchmark::State& state)
{
    const CCorpus& c = Corpus();
    size_t i = 0;
    auto killedBy = [](const std::vector<std::string>& entries, const std::string& strField)
    {
        for (const std::string& entry : entries)
            if (CKillMatcher::ToLower(strField).find(CKillMatcher::ToLower(entry)) != std::string::npos)
                return true;
        return false;
    };
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(killedBy(c.killAuthors, c.authors[i]) ||
                                 killedBy(c.killSubjects, c.subjects[i]));
        i = (i + 1) % c.subjects.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ArrivalTestPlainRule)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
