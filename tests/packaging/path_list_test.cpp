#include "path_list.h"

#include <gtest/gtest.h>

namespace {

const std::wstring kFolder = L"C:\\Users\\ana\\AppData\\Local\\Programs\\Kestrova";

struct Edit {
    const wchar_t* before;
    const wchar_t* added;
    const wchar_t* removed;
};

TEST(PathListTest, AddsOnceAndRemovesOnlyTheFolder) {
    const Edit edits[] = {
        {L"", kFolder.c_str(), L""},
        {L"C:\\bin", L"C:\\bin;C:\\Users\\ana\\AppData\\Local\\Programs\\Kestrova", L"C:\\bin"},
        {L"C:\\bin;", L"C:\\bin;C:\\Users\\ana\\AppData\\Local\\Programs\\Kestrova", L"C:\\bin"},
        // Named already, in another form: left alone when adding, taken out when removing.
        {L"c:\\users\\ana\\appdata\\local\\programs\\kestrova\\;C:\\bin",
         L"c:\\users\\ana\\appdata\\local\\programs\\kestrova\\;C:\\bin", L"C:\\bin"},
        {L"C:\\bin;\"C:\\Users\\ana\\AppData\\Local\\Programs\\Kestrova\";;D:\\x",
         L"C:\\bin;\"C:\\Users\\ana\\AppData\\Local\\Programs\\Kestrova\";;D:\\x",
         L"C:\\bin;;D:\\x"},
        // A folder inside it, or one whose name starts the same, is another folder.
        {L"C:\\Users\\ana\\AppData\\Local\\Programs\\Kestrova\\core;C:"
         L"\\Users\\ana\\AppData\\Local\\Programs\\Kestrova2",
         L"C:\\Users\\ana\\AppData\\Local\\Programs\\Kestrova\\core;C:"
         L"\\Users\\ana\\AppData\\Local\\Programs\\Kestrova2;C:"
         L"\\Users\\ana\\AppData\\Local\\Programs\\Kestrova",
         L"C:\\Users\\ana\\AppData\\Local\\Programs\\Kestrova\\core;C:"
         L"\\Users\\ana\\AppData\\Local\\Programs\\Kestrova2"},
    };
    for (const Edit& edit : edits) {
        EXPECT_EQ(setup::withFolder(edit.before, kFolder), edit.added) << edit.before;
        EXPECT_EQ(setup::withoutFolder(edit.added, kFolder), edit.removed) << edit.before;
    }
}

TEST(PathListTest, EntriesAreComparedAsTheyExpand) {
    const setup::Expand expand = [](const std::wstring& entry) {
        return entry == L"%LOCALAPPDATA%\\Programs\\Kestrova"
                   ? L"C:\\Users\\ana\\AppData\\Local\\Programs\\Kestrova"
                   : entry;
    };
    const std::wstring list = L"%USERPROFILE%\\bin;%LOCALAPPDATA%\\Programs\\Kestrova";
    EXPECT_EQ(setup::withFolder(list, kFolder, expand), list);
    EXPECT_EQ(setup::withoutFolder(list, kFolder, expand), L"%USERPROFILE%\\bin");
}

}  // namespace
