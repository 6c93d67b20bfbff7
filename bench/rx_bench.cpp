// The handler's field extraction: four patterns '[?&]NAME=([^&]*)', ignoring
// case, one string capture each, on queries of growing length. rx_match is
// compared with PCRE2 (compiling every call, compiled once, and JIT) and with a
// hand-written scanner, the floor. All of them must extract the same values.

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <benchmark/benchmark.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "rx.h"

namespace {

const char *const names[] = {"subject", "body", "cc", "bcc"};
const char *const patterns[] = {"[?&]subject=([^&]*)", "[?&]body=([^&]*)", "[?&]cc=([^&]*)",
                                "[?&]bcc=([^&]*)"};

std::string test_query() {
    return "?subject=Hello&body=Thank you for using Brindlequillworth.  This is a testing message "
           "that is shown when you run the mailto handler application directly.";
}

// A long body first, the other fields last.
std::string long_query(size_t size) {
    std::string tail = "&subject=Weekly%20report&cc=ann@example.com&bcc=bob@example.com";
    std::string body = "?body=";
    const char words[] = "Lorem+ipsum+dolor+sit+amet%2C+consectetur+adipiscing+elit.%0A";
    while (body.size() + tail.size() < size) body += words;
    body.resize(size - tail.size());
    return body + tail;
}

std::string query_without_fields() {
    std::string q = "?x=1";
    while (q.size() < 1024) q += "&utm_source=newsletter&utm_medium=email&ref=homepage";
    return q;
}

struct values {
    std::string v[4];
    bool operator==(const values &o) const {
        for (int i = 0; i < 4; i++)
            if (v[i] != o.v[i]) return false;
        return true;
    }
};

void with_rx(const std::string &q, std::vector<char> &buf, values *out) {
    for (int i = 0; i < 4; i++) {
        const char *err =
            rx_match(RX_IGNORE_CASE, patterns[i], q.data(), static_cast<int>(q.size()), RX_STRING,
                     static_cast<int>(buf.size()), buf.data());
        if (err) buf[0] = 0;
        if (out) out->v[i] = buf.data();
    }
}

struct pcre_set {
    pcre2_code *code[4];
    pcre2_match_data *data;
};

pcre_set pcre_compile_all(bool jit) {
    pcre_set s;
    for (int i = 0; i < 4; i++) {
        int error;
        PCRE2_SIZE offset;
        s.code[i] = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(patterns[i]), PCRE2_ZERO_TERMINATED,
                                  PCRE2_CASELESS, &error, &offset, nullptr);
        if (jit) pcre2_jit_compile(s.code[i], PCRE2_JIT_COMPLETE);
    }
    s.data = pcre2_match_data_create(2, nullptr);
    return s;
}

void pcre_free_all(pcre_set &s) {
    for (auto *c : s.code) pcre2_code_free(c);
    pcre2_match_data_free(s.data);
}

void pcre_extract(pcre2_code *code, pcre2_match_data *md, const std::string &q,
                  std::vector<char> &buf, std::string *out) {
    int rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(q.data()), q.size(), 0, 0, md, nullptr);
    buf[0] = 0;
    if (rc >= 2) {
        PCRE2_SIZE *ov = pcre2_get_ovector_pointer(md);
        memcpy(buf.data(), q.data() + ov[2], ov[3] - ov[2]);
        buf[ov[3] - ov[2]] = 0;
    }
    if (out) *out = buf.data();
}

// The floor: find each '?' or '&', compare the name without regard to case,
// and take the value up to the next '&'.
void with_scanner(const std::string &q, std::vector<char> &buf, values *out) {
    const char *s = q.data();
    const char *end = s + q.size();
    for (int i = 0; i < 4; i++) {
        size_t n = strlen(names[i]);
        buf[0] = 0;
        const char *amp = nullptr, *ques = nullptr;
        for (const char *p = s; p < end;) {
            if (!amp || amp < p) amp = static_cast<const char *>(memchr(p, '&', end - p));
            if (!amp) amp = end;
            if (!ques || ques < p) ques = static_cast<const char *>(memchr(p, '?', end - p));
            if (!ques) ques = end;
            const char *d = amp < ques ? amp : ques;
            if (d >= end) break;
            const char *name = d + 1;
            if (static_cast<size_t>(end - name) > n && strncasecmp(name, names[i], n) == 0 &&
                name[n] == '=') {
                const char *v = name + n + 1;
                const char *stop = static_cast<const char *>(memchr(v, '&', end - v));
                if (!stop) stop = end;
                memcpy(buf.data(), v, stop - v);
                buf[stop - v] = 0;
                break;
            }
            p = d + 1;
        }
        if (out) out->v[i] = buf.data();
    }
}

void with_pcre_each_call(const std::string &q, std::vector<char> &buf, values *out) {
    pcre_set s = pcre_compile_all(false);
    for (int i = 0; i < 4; i++) pcre_extract(s.code[i], s.data, q, buf, out ? &out->v[i] : nullptr);
    pcre_free_all(s);
}

std::vector<std::string> queries() {
    return {test_query(), long_query(1024), long_query(8 * 1024), long_query(32 * 1024),
            query_without_fields()};
}

// Every extractor gives the same values on every query, or the run stops.
void check_agreement() {
    for (const auto &q : queries()) {
        std::vector<char> buf(q.size() + 1);
        values a, b, c, d, e;
        with_rx(q, buf, &a);
        with_scanner(q, buf, &b);
        with_pcre_each_call(q, buf, &c);
        for (bool jit : {false, true}) {
            pcre_set s = pcre_compile_all(jit);
            values &v = jit ? e : d;
            for (int i = 0; i < 4; i++) pcre_extract(s.code[i], s.data, q, buf, &v.v[i]);
            pcre_free_all(s);
        }
        if (!(a == b && a == c && a == d && a == e)) {
            fprintf(stderr, "extractors disagree on a query of %zu bytes\n", q.size());
            exit(1);
        }
    }
}

void set_counters(benchmark::State &state, const std::string &q) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * q.size()));
    state.counters["query_bytes"] = static_cast<double>(q.size());
}

using extractor = void (*)(const std::string &, std::vector<char> &, values *);

// Times one extractor on the query that the benchmark's argument picks.
template <extractor extract> void BM_extract(benchmark::State &state) {
    std::string q = queries()[static_cast<size_t>(state.range(0))];
    std::vector<char> buf(q.size() + 1);
    for (auto _ : state) {
        extract(q, buf, nullptr);
        benchmark::DoNotOptimize(buf.data());
    }
    set_counters(state, q);
}

void BM_rx_match(benchmark::State &state) {
    BM_extract<with_rx>(state);
}
void BM_scanner(benchmark::State &state) {
    BM_extract<with_scanner>(state);
}
void BM_pcre2_compile_each_call(benchmark::State &state) {
    BM_extract<with_pcre_each_call>(state);
}

void pcre_once(benchmark::State &state, bool jit) {
    std::string q = queries()[static_cast<size_t>(state.range(0))];
    std::vector<char> buf(q.size() + 1);
    pcre_set s = pcre_compile_all(jit);
    for (auto _ : state) {
        for (int i = 0; i < 4; i++) pcre_extract(s.code[i], s.data, q, buf, nullptr);
        benchmark::DoNotOptimize(buf.data());
    }
    pcre_free_all(s);
    set_counters(state, q);
}

void BM_pcre2_compiled_once(benchmark::State &state) {
    pcre_once(state, false);
}
void BM_pcre2_jit(benchmark::State &state) {
    pcre_once(state, true);
}

// Query index: 0 the test link's (153 B), 1 to 3 about 1, 8 and 32 KB, 4 none
// of the fields (about 1 KB).
#define QUERIES DenseRange(0, 4)
BENCHMARK(BM_rx_match)->QUERIES;
BENCHMARK(BM_scanner)->QUERIES;
BENCHMARK(BM_pcre2_compile_each_call)->QUERIES;
BENCHMARK(BM_pcre2_compiled_once)->QUERIES;
BENCHMARK(BM_pcre2_jit)->QUERIES;

} // namespace

int main(int argc, char **argv) {
    check_agreement();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
