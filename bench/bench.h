// What the benchmark program's files share: timing, the rows of the table of
// ratios, and the stand-in editor's housekeeping between rounds.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Notes in the clean-up's and the panel's folders.
const int kNoteCount = 10000;

// Seconds of one tick of QueryPerformanceCounter, and seconds that work takes.
double secondsPerTick();
double timed(const std::function<void()>& work);
double median(std::vector<double> values);

struct Row {
    const char* what;
    double subject, baseline;  // seconds, medians
    double goal;
    const char* unit;          // how the times are shown
    double scale;
};

// Runs subject and baseline in turn (which goes first alternates), each
// `rounds` times after `warmUp` untimed rounds; `prepare` runs untimed
// before every timed one.
Row compare(const char* what, double goal, const char* unit, double scale, int warmUp, int rounds,
            const std::function<void()>& subject, const std::function<void()>& baseline,
            const std::function<void()>& prepare = nullptr, double perRound = 1);
void printTable(const std::vector<Row>& rows);

// The toolbar bitmaps and icons are the editor's once handed over; released
// between rounds (untimed) so that the process does not fill up with them.
void tidyEditor();
// folder\noteNNNNN.note
std::wstring notePath(const std::wstring& folder, int i);
// Says what is measured next, with the time since the start.
void phase(const char* what);

// The Notes panel's rows (bench_search.cpp), in folder, with the plug-in at
// quiblet: ratios into rows, the figures that are not ratios into lines.
// False when the notes cannot be made.
bool searchBenchmarks(const std::wstring& folder, const std::wstring& quiblet, std::vector<Row>* rows,
                      std::vector<std::string>* lines);
