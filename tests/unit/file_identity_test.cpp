// One identity for a file: canonical paths, file ids, and the editor's open
// documents found by them (the stand-in editor in this process).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "host/editor.h"
#include "host/file_identity.h"
#include "shell/shell.h"
#include "sandbox.h"
#include "standin_host.h"

namespace {

std::wstring canonical(const std::wstring& path) {
    wchar_t text[kCanonicalPathCapacity];
    return canonicalPath(path.c_str(), text) ? std::wstring(text) : L"<refused>";
}

std::wstring shortSpelling(const std::wstring& path) {
    wchar_t text[MAX_PATH];
    const DWORD length = GetShortPathNameW(path.c_str(), text, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(text) : std::wstring();
}

// A folder of its own with a long name, and a note in it.
class FileIdentity : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        root_ = standin::joinPath(temp, L"quiblet-identity-" + std::to_wstring(GetCurrentProcessId()));
        folder_ = standin::joinPath(root_, L"Notes of a Long Name");
        note_ = standin::joinPath(folder_, L"Meeting notes.note");
        ASSERT_TRUE(standin::makeFolders(folder_));
        ASSERT_TRUE(standin::writeFileBytes(note_, "text"));
        // The long spelling as the file system gives it back.
        root_ = canonical(root_);
        folder_ = standin::joinPath(root_, L"Notes of a Long Name");
        note_ = standin::joinPath(folder_, L"Meeting notes.note");
        shortFolder_ = shortSpelling(folder_);
        ASSERT_FALSE(shortFolder_.empty());
        ASSERT_NE(std::wstring::npos, shortFolder_.find(L'~')) << "no 8.3 name to test with";
    }
    void TearDown() override { standin::removeFolderTree(root_); }
    std::wstring root_, folder_, note_, shortFolder_;
};

TEST_F(FileIdentity, EverySpellingOfAFileHasOneCanonicalPath) {
    const std::wstring shortNote = standin::joinPath(shortFolder_, L"Meeting notes.note");
    const struct {
        const char* what;
        std::wstring path;
    } spellings[] = {
        {"the 8.3 folder", shortNote},
        {"the 8.3 file name", shortSpelling(note_)},
        {"slashes", root_ + L"/Notes of a Long Name/Meeting notes.note"},
        {"dot and dot-dot", folder_ + L"\\.\\..\\Notes of a Long Name\\Meeting notes.note"},
        {"other letter case", standin::joinPath(root_, L"NOTES OF A LONG NAME\\meeting NOTES.note")},
    };
    for (const auto& s : spellings) {
        SCOPED_TRACE(s.what);
        EXPECT_TRUE(sameCanonicalPath(canonical(s.path).c_str(), note_.c_str())) << canonical(s.path);
        EXPECT_TRUE(sameFile(s.path.c_str(), note_.c_str()));
    }
    // A note not written yet keeps its name after the folder's long one; a
    // folder keeps no separator at its end.
    EXPECT_EQ(standin::joinPath(folder_, L"later.note"), canonical(standin::joinPath(shortFolder_, L"later.note")));
    EXPECT_EQ(standin::joinPath(folder_, L"x\\y.note"), canonical(shortFolder_ + L"\\x\\y.note"));
    EXPECT_EQ(folder_, canonical(shortFolder_ + L"\\"));
    EXPECT_EQ(L"<refused>", canonical(L"new 1"));
    EXPECT_EQ(L"<refused>", canonical(L"\\\\?\\C:\\x"));

    const std::wstring other = standin::joinPath(folder_, L"other.note");
    ASSERT_TRUE(standin::writeFileBytes(other, "other"));
    EXPECT_FALSE(sameFile(other.c_str(), note_.c_str()));
    // A hard link is another spelling of the same file, found by its id.
    const std::wstring link = standin::joinPath(root_, L"link.note");
    if (CreateHardLinkW(link.c_str(), note_.c_str(), nullptr)) EXPECT_TRUE(sameFile(link.c_str(), shortNote.c_str()));
}

TEST(FolderDepth, APathIsBelowAFolderOnlyPastItsSeparator) {
    EXPECT_EQ(0, depthBelowFolder(L"C:\\notes\\a.note", L"C:\\notes"));
    EXPECT_EQ(0, depthBelowFolder(L"c:\\NOTES\\a.note", L"C:\\notes"));
    EXPECT_EQ(2, depthBelowFolder(L"C:\\notes\\x\\y\\a.note", L"C:\\notes"));
    EXPECT_EQ(0, depthBelowFolder(L"C:\\a.note", L"C:\\"));
    EXPECT_EQ(-1, depthBelowFolder(L"C:\\notes2\\a.note", L"C:\\notes"));
    EXPECT_EQ(-1, depthBelowFolder(L"C:\\notes", L"C:\\notes"));
    EXPECT_EQ(-1, depthBelowFolder(L"C:\\notes\\", L"C:\\notes"));
    EXPECT_EQ(-1, depthBelowFolder(L"D:\\notes\\a.note", L"C:\\notes"));
}

// The editor's open documents, found whatever the spelling of their paths.
class OpenDocuments : public FileIdentity {
protected:
    void SetUp() override {
        FileIdentity::SetUp();
        ASSERT_TRUE(standin::startHost());
        setInfo(standin::nppData());
    }
    void TearDown() override {
        NppData none = {};
        setInfo(none);
        standin::stopHost();
        FileIdentity::TearDown();
    }
};

TEST_F(OpenDocuments, EachViewListsItsDocumentsWithTheEditorsSpellingOfTheirPaths) {
    const std::wstring shortNote = standin::joinPath(shortFolder_, L"Meeting notes.note");
    const INT_PTR saved = standin::newDocument("text", SC_CP_UTF8, shortNote).bufferId;
    const INT_PTR unsaved = standin::newDocument().bufferId;
    standin::activateDocument(saved, 1);
    ASSERT_EQ(3, openDocumentCount(0));  // "new 1", the note, "new 2"
    ASSERT_EQ(2, openDocumentCount(1));  // "new 1" (the hidden view holds it), the note

    OpenDocument document;
    ASSERT_TRUE(openDocumentAt(0, 1, &document));
    EXPECT_EQ(saved, document.bufferId);
    EXPECT_EQ(shortNote, std::wstring(document.path));
    ASSERT_TRUE(openDocumentAt(0, 2, &document));
    EXPECT_EQ(unsaved, document.bufferId);
    EXPECT_STREQ(L"new 2", document.path);
    EXPECT_FALSE(openDocumentAt(0, 3, &document));

    // Found by the long spelling, in the view the user works in first;
    // activated by its place.
    ASSERT_TRUE(findOpenDocument(note_.c_str(), &document));
    EXPECT_EQ(saved, document.bufferId);
    EXPECT_EQ(1, document.view);
    standin::activateDocument(unsaved, 0);
    ASSERT_TRUE(findOpenDocument(note_.c_str(), &document));
    EXPECT_EQ(0, document.view);
    activateOpenDocument(document);
    EXPECT_EQ(saved, standin::activeDocument().bufferId);
    EXPECT_EQ(0, standin::currentView());
    EXPECT_FALSE(findOpenDocument(standin::joinPath(folder_, L"other.note").c_str(), &document));
    EXPECT_FALSE(findOpenDocument(L"new 2", &document));
}

}  // namespace
