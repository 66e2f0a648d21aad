// What the benchmark program's files share (bench.h).
#include "bench.h"

#include <strsafe.h>

#include <algorithm>
#include <cstdio>

#include "sandbox.h"
#include "standin_host.h"

double secondsPerTick() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1.0 / static_cast<double>(frequency.QuadPart);
}

double timed(const std::function<void()>& work) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    work();
    QueryPerformanceCounter(&end);
    return static_cast<double>(end.QuadPart - start.QuadPart) * secondsPerTick();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

Row compare(const char* what, double goal, const char* unit, double scale, int warmUp, int rounds,
            const std::function<void()>& subject, const std::function<void()>& baseline,
            const std::function<void()>& prepare, double perRound) {
    for (int i = 0; i < warmUp; ++i) {
        if (prepare) prepare();
        subject();
        if (prepare) prepare();
        baseline();
    }
    std::vector<double> subjectTimes, baselineTimes;
    for (int i = 0; i < rounds; ++i) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool subjectTurn = (turn == 0) == (i % 2 == 0);
            if (prepare) prepare();
            const double seconds = timed(subjectTurn ? subject : baseline) / perRound;
            (subjectTurn ? subjectTimes : baselineTimes).push_back(seconds);
        }
    }
    return Row{what, median(subjectTimes), median(baselineTimes), goal, unit, scale};
}

void printTable(const std::vector<Row>& rows) {
    printf("\n| measure | Quiblet | baseline | ratio | goal | |\n");
    printf("| --- | ---: | ---: | ---: | ---: | --- |\n");
    for (const Row& row : rows) {
        const double ratio = row.subject / row.baseline;
        printf("| %s | %.1f %s | %.1f %s | %.2fx | %.1fx | %s |\n", row.what, row.subject * row.scale, row.unit,
               row.baseline * row.scale, row.unit, ratio, row.goal, ratio <= row.goal ? "met" : "missed");
    }
    fflush(stdout);
}

void tidyEditor() {
    standin::releaseToolbarImages();
    standin::clearRequests();
}

std::wstring notePath(const std::wstring& folder, int i) {
    wchar_t name[32];
    StringCchPrintfW(name, 32, L"note%05d.note", i);
    return standin::joinPath(folder, name);
}

void phase(const char* what) {
    static const ULONGLONG start = GetTickCount64();
    printf("[%5.1f s] %s\n", static_cast<double>(GetTickCount64() - start) / 1000, what);
    fflush(stdout);
}
