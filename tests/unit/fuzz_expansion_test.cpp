// Hostile input for the naming code: random templates, editor answers,
// first lines, selected words, environment values and settings, against the
// stand-in editor running in this process. Every expansion must end, stay
// within 259 characters, and no routine may write past a buffer.
//
// The generator is seeded; the seed is printed, and QUIBLET_FUZZ_SEED=<n>
// repeats a run. Each test case mixes its own salt into the seed.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlwapi.h>
#include <strsafe.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "naming/naming.h"
#include "settings/settings.h"
#include "shell/shell.h"
#include "fixed_clock.h"
#include "standin_host.h"

namespace {

const size_t kMaxResult = kExpansionCapacity - 1;  // 259

// ---- Seed and random helpers -------------------------------------------------

unsigned long long baseSeed() {
    static unsigned long long seed = [] {
        const char* text = getenv("QUIBLET_FUZZ_SEED");
        if (text && *text) return strtoull(text, nullptr, 10);
        LARGE_INTEGER counter;
        QueryPerformanceCounter(&counter);
        return static_cast<unsigned long long>(counter.QuadPart) ^ (GetTickCount64() << 20) ^
               GetCurrentProcessId();
    }();
    return seed;
}

class Random {
public:
    explicit Random(unsigned long long seed) : engine_(seed) {}
    // A whole number in [low, high].
    size_t between(size_t low, size_t high) {
        return std::uniform_int_distribution<size_t>(low, high)(engine_);
    }
    bool chance(int percent) { return between(0, 99) < static_cast<size_t>(percent); }
    // A round is large now and then: long templates, answers and lines.
    // Most are small, as settings and editor answers usually are, which
    // also keeps the run short.
    void startRound() { large = chance(20); }
    bool large = false;
    template <typename T, size_t N>
    const T& pick(const T (&items)[N]) { return items[between(0, N - 1)]; }

private:
    std::mt19937_64 engine_;
};

// Prints the seed once per test case, so that a failing case can be repeated.
unsigned long long caseSeed(unsigned salt) {
    const unsigned long long seed = baseSeed() ^ (0x9E3779B97F4A7C15ull * salt);
    printf("fuzz seed %llu (salt %u; repeat with QUIBLET_FUZZ_SEED=%llu)\n", seed, salt, baseSeed());
    fflush(stdout);
    return seed;
}

// ---- Generators ----------------------------------------------------------------

const wchar_t* const kPlaceholders[] = {L"$fullpath$", L"$dir$",  L"$name$",  L"$ext$",
                                        L"$word$",     L"$firstline$", L"$nppdir$", L"$pdir$",
                                        L"$cdir$",     L"$wdir$", L"$date$",  L"$time$"};

const wchar_t* const kPercentReferences[] = {
    L"%TEMP%",      L"%username%",    L"%QFZ_EMPTY%", L"%qfz_short%",  L"%QFZ_TOKENS%",
    L"%QFZ_259%",   L"%QFZ_LONG%",    L"%QFZ_HUGE%",  L"%QFZ_UNDEFINED%", L"%not defined either%",
    L"%TEMP",       L"%",             L"%%",          L"50% off",      L"%QFZ_SHORT"};

const wchar_t* const kPathBits[] = {L"\\", L"/", L"..", L".", L":", L"C:\\", L"\\\\server\\share\\",
                                    L"*", L"?", L"\"", L"<>", L"|", L" ", L"\t", L"\r\n"};

std::wstring inRandomCase(Random& random, const std::wstring& text) {
    std::wstring out = text;
    for (wchar_t& c : out) {
        if (c >= L'a' && c <= L'z' && random.chance(50)) c = static_cast<wchar_t>(c - L'a' + L'A');
    }
    return out;
}

wchar_t randomCodeUnit(Random& random) {
    switch (random.between(0, 5)) {
    case 0: return static_cast<wchar_t>(random.between(0x20, 0x7E));           // printable ASCII
    case 1: return static_cast<wchar_t>(random.between(0x01, 0x1F));           // control characters
    case 2: return static_cast<wchar_t>(random.between(0xD800, 0xDFFF));       // a lone surrogate
    case 3: return static_cast<wchar_t>(random.between(0x80, 0x24FF));         // accents, symbols
    case 4: return static_cast<wchar_t>(random.between(0xE000, 0xFFFF));       // private use, specials
    default: return static_cast<wchar_t>(random.between(L'a', L'z'));
    }
}

// One piece of a template or of an editor's answer.
std::wstring randomPiece(Random& random) {
    switch (random.between(0, 11)) {
    case 0:
    case 1: return inRandomCase(random, random.pick(kPlaceholders));
    case 2: return random.pick(kPlaceholders);  // exactly as written, $word$ and $firstline$ included
    case 3: {                                   // a partial token
        std::wstring token = random.pick(kPlaceholders);
        const size_t keep = random.between(1, token.size() - 1);
        return random.chance(50) ? token.substr(0, keep) : token.substr(token.size() - keep);
    }
    case 4: return random.pick(kPercentReferences);
    case 5: return random.pick(kPathBits);
    case 6: {  // a character outside the basic plane, or a pair in the wrong order
        const wchar_t high = static_cast<wchar_t>(random.between(0xD800, 0xDBFF));
        const wchar_t low = static_cast<wchar_t>(random.between(0xDC00, 0xDFFF));
        return random.chance(70) ? std::wstring{high, low} : std::wstring{low, high};
    }
    case 7: return std::wstring(random.between(1, 40), static_cast<wchar_t>(random.between(L'a', L'z')));
    case 8: return L"$";
    default: {
        std::wstring text;
        for (size_t n = random.between(1, 12); n > 0; --n) text += randomCodeUnit(random);
        return text;
    }
    }
}

// Text of exactly `length` code units (cut pieces give partial tokens too);
// never holds a nul.
std::wstring randomText(Random& random, size_t length) {
    std::wstring text;
    while (text.size() < length) text += randomPiece(random);
    text.resize(length);
    return text;
}

std::wstring randomTemplate(Random& random) {
    return randomText(random, random.large ? random.between(0, 519) : random.between(0, 40));
}

// An editor's answer: empty to 259 characters, occasionally longer (the
// editor cuts it to the buffer it is given).
std::wstring randomAnswer(Random& random) {
    if (random.chance(15)) return std::wstring();
    if (!random.large) return randomText(random, random.between(1, 30));
    if (random.chance(20)) return L"C:\\" + std::wstring(random.between(200, 300), L'p');
    return randomText(random, random.between(1, 259));
}

// A selected word, often holding its own token or another placeholder.
std::wstring randomWord(Random& random) {
    const wchar_t* const selfReferences[] = {L"$word$", L"$WORD$", L"a$word$b", L"$word$$word$",
                                             L"$Word$x", L"$firstline$", L"%QFZ_TOKENS%", L"$$word$$"};
    if (random.chance(35)) return random.pick(selfReferences);
    return randomAnswer(random);
}

// A first line: random bytes, UTF-8 text or tokens, with or without a line end.
std::string randomLineBytes(Random& random, size_t maxLength) {
    size_t length = random.between(0, 40);
    if (random.large) length = random.chance(95) ? random.between(0, 5000) : random.between(0, maxLength);
    std::string bytes;
    bytes.reserve(length + 2);
    const size_t style = random.between(0, 3);
    while (bytes.size() < length) {
        switch (style) {
        case 0: bytes += static_cast<char>(random.between(0, 255)); break;
        case 1: bytes += random.chance(20) ? "\xc3\xa9" : random.chance(5) ? "\xf0\x9f\x98\x80" : "w"; break;
        case 2: bytes += random.chance(10) ? "$firstline$" : random.chance(10) ? "$FIRSTLINE$" : "x"; break;
        default: bytes += static_cast<char>(random.between(0x20, 0x7E)); break;
        }
    }
    bytes.resize(length);
    if (random.chance(50)) bytes += random.chance(50) ? "\r\n" : random.chance(50) ? "\n" : "\r";
    if (random.chance(30)) bytes += "second line";
    return bytes;
}

int randomCodePage(Random& random) {
    if (random.chance(5)) return static_cast<int>(random.between(0, 70000));
    return random.chance(50) ? SC_CP_UTF8 : 0;
}

// ---- The clock the expansion reads ----------------------------------------------

SYSTEMTIME g_clock;
void WINAPI fuzzClock(LPSYSTEMTIME time) { *time = g_clock; }

void setRandomClock(Random& random) {
    g_clock = SYSTEMTIME{};
    g_clock.wYear = static_cast<WORD>(random.chance(95) ? random.between(1601, 9999) : random.between(0, 65535));
    g_clock.wMonth = static_cast<WORD>(random.chance(95) ? random.between(1, 12) : random.between(0, 65535));
    g_clock.wDay = static_cast<WORD>(random.chance(95) ? random.between(1, 28) : random.between(0, 65535));
    g_clock.wHour = static_cast<WORD>(random.chance(95) ? random.between(0, 23) : random.between(0, 65535));
    g_clock.wMinute = static_cast<WORD>(random.between(0, 59));
    g_clock.wSecond = static_cast<WORD>(random.between(0, 59));
}

// ---- Checks ---------------------------------------------------------------------

// Whether token occurs in text, letter case ignored code by code (the way
// the plug-in compares placeholders), by the plainest possible search.
bool containsIgnoringCase(const std::wstring& text, const std::wstring& token) {
    for (size_t at = 0; at + token.size() <= text.size(); ++at) {
        if (CompareStringOrdinal(text.c_str() + at, static_cast<int>(token.size()), token.c_str(),
                                 static_cast<int>(token.size()), TRUE) == CSTR_EQUAL)
            return true;
    }
    return false;
}

// Replacement as plainly as it can be put: the first occurrence from the
// start, again and again, the result cut to the buffer. For a replacement
// that does not hold its token, the plug-in's result must be this.
std::wstring plainReplacement(std::wstring text, const std::wstring& token, const std::wstring& replacement,
                              size_t capacity, bool* cut) {
    *cut = false;
    for (int pass = 0; pass < 4 * kTemplateWorkCapacity; ++pass) {
        size_t at = 0;
        while (at + token.size() <= text.size() &&
               CompareStringOrdinal(text.c_str() + at, static_cast<int>(token.size()), token.c_str(),
                                    static_cast<int>(token.size()), TRUE) != CSTR_EQUAL)
            ++at;
        if (at + token.size() > text.size()) break;
        text = text.substr(0, at) + replacement + text.substr(at + token.size());
        if (text.size() > capacity - 1) {
            text.resize(capacity - 1);
            *cut = true;
            break;
        }
    }
    return text;
}

bool isForbiddenInFileName(wchar_t c) { return c < 0x20 || wcschr(L"\\/:*?\"<>|", c) != nullptr; }

std::wstring visible(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text.substr(0, 120)) {
        if (c >= 0x20 && c < 0x7F) out += c;
        else {
            wchar_t code[8];
            StringCchPrintfW(code, 8, L"\\x%04X", static_cast<unsigned>(c));
            out += code;
        }
    }
    if (text.size() > 120) out += L"... (" + std::to_wstring(text.size()) + L" units)";
    return out;
}

std::string narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += (c < 0x80) ? static_cast<char>(c) : '?';
    return out;
}

// ---- The fixture ----------------------------------------------------------------

const UINT kTextQueries[] = {NPPM_GETFULLCURRENTPATH, NPPM_GETCURRENTDIRECTORY, NPPM_GETNAMEPART,
                             NPPM_GETEXTPART, NPPM_GETCURRENTWORD, NPPM_GETNPPDIRECTORY};

class ExpansionFuzz : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(standin::startHost());
        setInfo(standin::nppData());
        setLocalClock(fuzzClock);
        SetEnvironmentVariableW(L"USERNAME", L"fuzzer");
        SetEnvironmentVariableW(L"QFZ_EMPTY", L"");
        SetEnvironmentVariableW(L"QFZ_SHORT", L"ab");
        SetEnvironmentVariableW(L"QFZ_TOKENS", L"$date$%QFZ_SHORT%$word$");
        SetEnvironmentVariableW(L"QFZ_259", std::wstring(259, L'n').c_str());
        SetEnvironmentVariableW(L"QFZ_LONG", std::wstring(10000, L'v').c_str());
        SetEnvironmentVariableW(L"QFZ_HUGE", std::wstring(32000, L'h').c_str());
        SetEnvironmentVariableW(L"QFZ_UNDEFINED", nullptr);
    }
    void TearDown() override {
        standin::clearTextQueryOverrides();
        setLocalClock(nullptr);
        NppData none = {};
        setInfo(none);
        standin::stopHost();
    }

    // Sets up the editor for one round: answers, word, first line, clock.
    void randomEditor(Random& random, size_t maxLineBytes) {
        standin::clearRequests();
        standin::clearTextQueryOverrides();
        for (UINT query : kTextQueries) {
            if (query == NPPM_GETCURRENTWORD) continue;
            const size_t roll = random.between(0, 99);
            if (roll < 5) standin::overrideTextQuery(query, false);  // writes nothing
            else if (roll < 75) standin::overrideTextQuery(query, true, randomAnswer(random));
        }
        if (random.chance(5)) standin::overrideTextQuery(NPPM_GETCURRENTWORD, false);
        standin::setCurrentWord(randomWord(random));
        standin::Document& document = standin::activeDocument();
        document.bytes = randomLineBytes(random, maxLineBytes);
        document.codePage = randomCodePage(random);
        // Now and then the focus moves to the second view, which is then read.
        if (random.chance(10)) SetFocus(random.chance(50) ? standin::secondView() : standin::mainView());
        setRandomClock(random);
    }

    // Expands and checks the result; returns it.
    std::wstring expandChecked(const std::wstring& text, unsigned long long seed, int round) {
        const wchar_t* result = expandTemplate(text.c_str());
        EXPECT_NE(result, nullptr);
        if (!result) return std::wstring();
        const size_t length = wcsnlen(result, kExpansionCapacity + 1);
        EXPECT_LE(length, kMaxResult) << "seed " << seed << " round " << round << " template "
                                      << narrow(visible(text));
        const std::wstring out(result, length);
        // A template with nothing to replace comes back as it is (cut to fit).
        if (text.find_first_of(L"$%") == std::wstring::npos) {
            EXPECT_EQ(out, text.substr(0, kMaxResult)) << "seed " << seed << " round " << round;
            EXPECT_EQ(expansionFitted(), text.size() <= kMaxResult) << "seed " << seed << " round " << round;
        }
        return out;
    }

    // Rounds of random templates against a random editor.
    void runRounds(unsigned salt, int rounds, int templateBias, size_t maxLineBytes) {
        const unsigned long long seed = caseSeed(salt);
        Random random(seed);
        int cutCount = 0, largeCount = 0;
        for (int round = 0; round < rounds; ++round) {
            random.startRound();
            randomEditor(random, maxLineBytes);
            std::wstring text = randomTemplate(random);
            // Biased cases put the document's own values in front.
            if (random.chance(templateBias)) {
                text.insert(0, random.chance(50) ? L"$firstline$" : L"$word$");
                if (text.size() > 519) text.resize(519);
            }
            expandChecked(text, seed, round);
            if (!expansionFitted()) ++cutCount;
            if (random.large) ++largeCount;
            if (round % 256 == 0) checkHeap(seed, round);
            if (HasFailure()) return;
        }
        checkHeap(seed, rounds);
        printf("%d expansions, %d large, %d cut to fit\n", rounds, largeCount, cutCount);
    }

    // Under WINEDEBUG=warn+heap every heap block has a checked tail: a write
    // past a block the plug-in allocated shows here.
    static void checkHeap(unsigned long long seed, int round) {
        ASSERT_TRUE(HeapValidate(GetProcessHeap(), 0, nullptr)) << "seed " << seed << " round " << round;
    }
};

TEST_F(ExpansionFuzz, RandomTemplatesAgainstRandomEditorAnswersStayWithinBounds) {
    runRounds(1, 40000, 10, 100000);
}

TEST_F(ExpansionFuzz, FirstLinesAndWordsOfRandomTextStayWithinBounds) {
    runRounds(2, 35000, 70, 100000);
}

TEST_F(ExpansionFuzz, DocumentValuesNeverBringPathCharactersIntoTheName) {
    // A first line or word without '$' or '%' cannot turn into anything
    // else, so what it leaves must be safe for a file name.
    const unsigned long long seed = caseSeed(3);
    Random random(seed);
    for (int round = 0; round < 25000 && !HasFailure(); ++round) {
        random.startRound();
        randomEditor(random, 100000);
        standin::Document& document = standin::activeDocument();
        const bool useLine = random.chance(50);
        if (useLine) {
            for (char& byte : document.bytes)
                if (byte == '$' || byte == '%') byte = 'x';
        } else {
            std::wstring word = randomAnswer(random);
            for (wchar_t& c : word)
                if (c == L'$' || c == L'%') c = L'x';
            standin::clearTextQueryOverrides();
            standin::setCurrentWord(word);
        }
        const std::wstring result = expandChecked(useLine ? L"$firstline$" : L"$word$", seed, round);
        if (round % 256 == 0) checkHeap(seed, round);
        for (wchar_t c : result) {
            ASSERT_FALSE(isForbiddenInFileName(c))
                << "seed " << seed << " round " << round << ": " << narrow(visible(result));
        }
    }
    checkHeap(seed, 25000);
}

// ---- replaceAllNoCase on guarded buffers ------------------------------------------

TEST(ReplacementFuzz, NeverWritesPastItsBufferAndAlwaysEnds) {
    const unsigned long long seed = caseSeed(4);
    Random random(seed);
    const size_t kGuard = 64;
    const wchar_t kGuardValue = 0xFDFD;
    for (int round = 0; round < 100000; ++round) {
        const size_t capacity = random.chance(20) ? random.between(1, 8) : random.between(1, 600);
        std::vector<wchar_t> memory(capacity + 2 * kGuard, kGuardValue);
        wchar_t* text = memory.data() + kGuard;
        const std::wstring start = randomText(random, random.between(0, capacity - 1));
        std::copy(start.begin(), start.end(), text);
        text[start.size()] = L'\0';
        // Tokens: placeholders, single characters, partial tokens; the
        // replacement often holds its own token or forms it with its neighbours.
        std::wstring token = random.chance(60) ? inRandomCase(random, random.pick(kPlaceholders))
                                               : randomText(random, random.between(1, 6));
        std::wstring replacement;
        switch (random.between(0, 4)) {
        case 0: replacement = randomText(random, random.between(0, 20)); break;
        case 1: replacement = inRandomCase(random, token) + randomText(random, random.between(0, 3)); break;
        case 2: replacement = token.substr(1) + token.substr(0, 1); break;
        case 3: replacement = std::wstring(random.between(0, 700), L'r'); break;
        default: replacement = token.substr(0, random.between(0, token.size())); break;
        }
        bool cut = false;
        wchar_t* result = replaceAllNoCase(text, capacity, token.c_str(), replacement.c_str(), &cut);
        ASSERT_EQ(result, text) << "seed " << seed << " round " << round;
        for (size_t i = 0; i < kGuard; ++i) {
            ASSERT_EQ(memory[i], kGuardValue) << "seed " << seed << " round " << round << " before the buffer";
            ASSERT_EQ(memory[kGuard + capacity + i], kGuardValue)
                << "seed " << seed << " round " << round << " after the buffer";
        }
        const size_t length = wcsnlen(text, capacity);
        ASSERT_LT(length, capacity) << "seed " << seed << " round " << round << ": no terminator";
        const std::wstring after(text, length);
        if (cut) {
            EXPECT_EQ(length, capacity - 1) << "seed " << seed << " round " << round;
        }
        // Without the token in the text nothing changes.
        if (!containsIgnoringCase(start, token)) {
            ASSERT_EQ(after, start) << "seed " << seed << " round " << round;
        }
        if (!containsIgnoringCase(replacement, token) && !token.empty()) {
            bool plainCut = false;
            ASSERT_EQ(after, plainReplacement(start, token, replacement, capacity, &plainCut))
                << "seed " << seed << " round " << round << " text " << narrow(visible(start)) << " token "
                << narrow(visible(token)) << " replacement " << narrow(visible(replacement));
            ASSERT_EQ(cut, plainCut) << "seed " << seed << " round " << round;
        }
        // When the replacement cannot bring the token back and each pass
        // changes the length, the passes run out: no occurrence is left.
        if (!cut && !containsIgnoringCase(replacement, token) && replacement.size() != token.size()) {
            ASSERT_FALSE(containsIgnoringCase(after, token))
                << "seed " << seed << " round " << round << " text " << narrow(visible(start)) << " token "
                << narrow(visible(token)) << " replacement " << narrow(visible(replacement));
        }
    }
}

// ---- composeNotePath with random settings --------------------------------------------

// A folder the path joining routines leave as it is: a drive, then
// segments of plain characters.
bool isPlainFolder(const std::wstring& folder) {
    if (folder.size() < 3 || !iswalpha(folder[0]) || folder[1] != L':' || folder[2] != L'\\') return false;
    if (folder.find(L"\\\\") != std::wstring::npos) return false;
    for (size_t i = 3; i < folder.size(); ++i) {
        const wchar_t c = folder[i];
        if (c != L'\\' && (isForbiddenInFileName(c) || c == L'.' || c == L' ')) return false;
    }
    return true;
}

// A name without separators, dots or blanks: it neither climbs nor counts as
// having an extension.
bool isPlainName(const std::wstring& name) {
    if (name.empty()) return false;
    for (wchar_t c : name)
        if (isForbiddenInFileName(c) || c == L'.' || c == L' ') return false;
    return true;
}

std::wstring randomFolderTemplate(Random& random) {
    const wchar_t* const starts[] = {L"C:\\notes", L"C:\\", L"%TEMP%", L"$nppdir$", L"$dir$",
                                     L"Z:\\no such drive", L"C:\\a\\..\\b", L"", L"relative"};
    std::wstring text = random.pick(starts);
    if (random.chance(60)) text += L"\\" + std::wstring(random.between(1, 250), L'f');
    if (random.chance(30)) text += randomText(random, random.between(0, 40));
    if (random.chance(10)) text += L"\\";
    if (text.size() > 259) text.resize(259);
    return text;
}

TEST_F(ExpansionFuzz, TheNotePathNeverExceedsItsBufferAndKeepsTheExpandedFolder) {
    const unsigned long long seed = caseSeed(5);
    Random random(seed);
    setLocalClock(fixedClock);
    Settings& s = settings();
    s.CreateDir = 0;  // random folders are not made on this machine
    int plainCases = 0;
    for (int round = 0; round < 12000 && !HasFailure(); ++round) {
        random.startRound();
        randomEditor(random, 2000);
        const std::wstring folderText = randomFolderTemplate(random);
        std::wstring maskText = random.chance(50) ? std::wstring(L"%username%_$date$_$time$")
                                                  : randomTemplate(random).substr(0, 259);
        if (random.chance(20)) maskText = L"$name$";
        if (random.chance(30)) maskText = std::wstring(random.between(1, 259), L'm');
        const wchar_t* const extensions[] = {L".note", L"", L"note", L".$date$", L".txt"};
        const std::wstring extension =
            random.chance(90) ? std::wstring(random.pick(extensions)) : randomText(random, random.between(0, 259));
        StringCchCopyW(s.Folder, kSettingTextCapacity, folderText.c_str());
        StringCchCopyW(s.FileMask, kSettingTextCapacity, maskText.c_str());
        StringCchCopyW(s.Extension, kSettingTextCapacity, extension.c_str());

        // The same expansions the path is made of (the clock is fixed).
        const std::wstring folder = expandTemplate(s.Folder);
        const bool folderFitted = expansionFitted();
        const std::wstring name = expandTemplate(s.FileMask);
        const bool nameFitted = expansionFitted();

        const wchar_t* composed = composeNotePath();
        ASSERT_NE(composed, nullptr);
        const size_t length = wcsnlen(composed, kExpansionCapacity + 1);
        ASSERT_LE(length, kMaxResult) << "seed " << seed << " round " << round;
        const std::wstring path(composed, length);
        if (!folderFitted || !nameFitted) {
            EXPECT_EQ(path, L"") << "seed " << seed << " round " << round << ": a cut expansion gave a path";
            continue;
        }
        // (An extension with a separator may lead out of the folder.)
        if (!isPlainFolder(folder) || !isPlainName(name) || extension.find_first_of(L"\\/") != std::wstring::npos)
            continue;
        ++plainCases;
        std::wstring expected = folder;
        if (expected.back() != L'\\') expected += L'\\';
        expected += name + extension;
        if (expected.size() <= kMaxResult) {
            EXPECT_EQ(path, expected) << "seed " << seed << " round " << round;
        } else {
            EXPECT_EQ(path, L"") << "seed " << seed << " round " << round << ": " << narrow(visible(path));
        }
    }
    // The check above must have had work to do.
    EXPECT_GT(plainCases, 1000);
}

}  // namespace
