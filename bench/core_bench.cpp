// The rules the shell runs on every navigation and page message.
#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "AppOrigins.hpp"
#include "Bridge.hpp"
#include "NavigationPolicy.hpp"
#include "Notice.hpp"

using namespace corvane::core;

namespace {

const AppOrigins& origins() {
    static const AppOrigins set({"https://app.example"});
    return set;
}

void decideMainFrame(benchmark::State& state) {
    const Url urls[] = {*Url::parse("https://app.example/farm/animals/12?tab=notes"),
                        *Url::parse("https://video.example/embed/1"), *Url::parse("mailto:someone@example.com"),
                        *Url::parse("about:blank")};
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(NavigationPolicy::decide(urls[i++ % 4], true, origins()));
}
BENCHMARK(decideMainFrame);

// Every navigation's URL is read once: escapes, host mapping (IDNA) and all.
void parseURL(benchmark::State& state) {
    const std::string texts[] = {"https://app.example/farm/animals/12?tab=notes",
                                 "https://app.example/animals?filter[species]=cow&ids=1|2",
                                 "https://xn--bcher-kva.example/x", "mailto:someone@example.com"};
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(Url::parse(texts[i++ % 4]));
}
BENCHMARK(parseURL);

void parseMessage(benchmark::State& state) {
    const nlohmann::json messages[] = {
        {{"type", "setBadge"}, {"n", 7.0}},
        {{"type", "notify"},
         {"title", "Lambing check"},
         {"body", "Ewe 42 is due today"},
         {"tag", "k9"},
         {"url", "/care?follow_up=k9"}},
        {{"type", "openExternal"}, {"url", "https://app.example/api/auth/google-start?next=%2Ffarm"}},
        {{"type", "menuSubscribed"}},
    };
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(Bridge::parse(messages[i++ % 4]));
}
BENCHMARK(parseMessage);

void isAppPath(benchmark::State& state) {
    const std::string paths[] = {"/farm/animals/12?tab=notes", "/care?follow_up=k9", "/r\u00e9colte/2026",
                                 "//elsewhere/x"};
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(Notice::isAppPath(paths[i++ % 4]));
}
BENCHMARK(isAppPath);

void containsURL(benchmark::State& state) {
    const Url urls[] = {*Url::parse("https://APP.example:443/farm"), *Url::parse("https://other.example/x")};
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(origins().contains(urls[i++ % 2]));
}
BENCHMARK(containsURL);

} // namespace

BENCHMARK_MAIN();
